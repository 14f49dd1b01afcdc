#pragma once
// The app-view hit sent to the analytics collector at the end of a run.

#include "app/query_request.h"

namespace orvex {

struct CSystemInfo;

// The hit with its fixed keys: "v", "tid" (the server environment's tracking id), "t",
// "cid" (the disk serial), "av" (the installer version) and "an".
CQueryRequest MakeAnalyticsHit();

// The custom dimensions "cd1" ... "cd15" from the system information record.
void AddSystemDimensions(CQueryRequest& hit);
void AddSystemDimensions(CQueryRequest& hit, const CSystemInfo& info);

}  // namespace orvex
