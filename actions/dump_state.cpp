#include "actions/dump_state.h"

#include "base/json_text.h"
#include "engine/progress.h"

namespace orvex {

int CDumpState::Execute(Json::Value& doc) {
  if (progress) progress->SetDetail(StyledJson(doc));
  return 0;
}

}  // namespace orvex
