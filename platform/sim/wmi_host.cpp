// WMI of the simulated machine: the profile's "wmi" rows per namespace and class, and its
// "wmiAssociations" for ASSOCIATORS OF. Rows are copied when a query runs, so a session reads
// the machine as it was at ExecQuery.
#include "platform/wmi.h"

#include <deque>

#include "base/text.h"
#include "platform/sim/machine_internal.h"
#include "platform/sim/wql.h"

namespace orvex {
namespace platform {
namespace {

// A property in the profile: a JSON string is VT_BSTR, a boolean VT_BOOL, an integer in range
// VT_I4, null VT_NULL, {"type": N, "value": V} a value of VARIANT type N.
WmiValue ValueFromJson(const Json::Value& json) {
  WmiValue value;
  if (json.isString()) {
    value.type = WmiValue::kString;
    value.text = Utf8ToWide(json.asString());
  } else if (json.isBool()) {
    value.type = WmiValue::kBool;
    value.flag = json.asBool();
  } else if (json.isInt()) {
    value.type = WmiValue::kInt32;
    value.number = json.asInt();
  } else if (json.isObject() && json.isMember("type")) {
    const int type = json["type"].asInt();
    const Json::Value& inner = json["value"];
    if (type == WmiValue::kString && inner.isString()) return ValueFromJson(inner);
    if (type == WmiValue::kBool && inner.isBool()) return ValueFromJson(inner);
    if (type == WmiValue::kInt32 && inner.isInt()) return ValueFromJson(inner);
    value.type = type == WmiValue::kNull ? WmiValue::kNull : WmiValue::kOther;
  } else if (!json.isNull()) {
    value.type = WmiValue::kOther;  // a real number, a number beyond VT_I4, an array
  }
  return value;
}

class SimRow : public IWmiRow {
 public:
  SimRow(Json::Value row, std::vector<std::wstring> selected)
      : row_(std::move(row)), selected_(std::move(selected)) {}

  WmiValue Get(const std::wstring& property) const override {
    if (!selected_.empty()) {
      bool chosen = false;
      for (const std::wstring& name : selected_)
        chosen = chosen || sim::EqualsNoCase(name, property);
      if (!chosen) return WmiValue();
    }
    // A property the row lacks fails Get, which the caller reads as VT_NULL.
    return ValueFromJson(sim::MemberNoCase(row_, WideToUtf8(property)));
  }

 private:
  Json::Value row_;
  std::vector<std::wstring> selected_;
};

class SimSession : public IWmiSession {
 public:
  explicit SimSession(std::string wmiNamespace) : namespace_(std::move(wmiNamespace)) {}

  bool ExecQuery(const std::wstring& wql) override {
    pending_.clear();
    ready_ = false;
    sim::WqlQuery query;
    if (!sim::ParseWql(wql, &query)) return false;
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    const Json::Value& profile = sim::CurrentMachine().profile;
    if (query.kind == sim::WqlQuery::kAssociators) {
      Associators(query, sim::MemberNoCase(profile["wmiAssociations"], namespace_));
    } else {
      // A class the machine does not list does not exist (WBEM_E_INVALID_CLASS).
      const Json::Value& classes = sim::MemberNoCase(profile["wmi"], namespace_);
      const Json::Value& rows = sim::MemberNoCase(classes, WideToUtf8(query.className));
      if (!rows.isArray()) return false;
      for (const Json::Value& row : rows)
        if (sim::RowMatches(query, row)) pending_.push_back(row);
      selected_ = query.properties;
    }
    ready_ = true;
    return true;
  }

  std::unique_ptr<IWmiRow> Next() override {
    if (!ready_ || pending_.empty()) return nullptr;
    std::unique_ptr<IWmiRow> row(new SimRow(pending_.front(), selected_));
    pending_.pop_front();
    return row;
  }

 private:
  void Associators(const sim::WqlQuery& query, const Json::Value& associations) {
    selected_.clear();
    if (!associations.isArray()) return;
    for (const Json::Value& entry : associations) {
      if (!sim::SameObjectPath(Utf8ToWide(entry["object"].asString()), query.objectPath)) continue;
      if (!query.assocClass.empty() &&
          !sim::EqualsNoCase(Utf8ToWide(entry["assocClass"].asString()), query.assocClass))
        continue;
      if (!query.resultClass.empty() &&
          !sim::EqualsNoCase(Utf8ToWide(entry.get("resultClass", "").asString()),
                             query.resultClass))
        continue;
      for (const Json::Value& row : entry["rows"]) pending_.push_back(row);
    }
  }

  std::string namespace_;
  std::deque<Json::Value> pending_;
  std::vector<std::wstring> selected_;
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<IWmiSession> ConnectWmi(const std::wstring& wmiNamespace) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& namespaces = sim::CurrentMachine().profile["wmi"];
  const std::string name = WideToUtf8(wmiNamespace);
  // ConnectServer fails on a namespace the machine does not have.
  if (!sim::MemberNoCase(namespaces, name).isObject()) return nullptr;
  for (const std::string& listed : namespaces.getMemberNames())
    if (sim::EqualsNoCase(listed, name))
      return std::unique_ptr<IWmiSession>(new SimSession(listed));
  return nullptr;
}

}  // namespace platform
}  // namespace orvex
