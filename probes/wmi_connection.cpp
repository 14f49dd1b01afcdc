#include "probes/wmi_connection.h"

#include "base/text.h"

namespace orvex {

namespace {

// A missing row reads like a failed Get (VT_NULL).
platform::WmiValue ReadProperty(const WmiRow& row, const std::string& property) {
  if (!row) return platform::WmiValue();
  return row->Get(ToWide(property));
}

}  // namespace

void CWmiConnection::Connect(const std::wstring& wmiNamespace) {
  Close();
  session_ = platform::ConnectWmi(wmiNamespace);
}

void CWmiConnection::Close() { session_.reset(); }

WmiRow CWmiConnection::QueryFirst(const std::string& className, const std::string& condition) {
  if (!session_ || !session_->ExecQuery(ToWide(QueryText(className, condition)))) return nullptr;
  return session_->Next();
}

std::vector<WmiRow> CWmiConnection::QueryAll(const std::string& className,
                                             const std::string& condition) {
  std::vector<WmiRow> rows;
  if (!session_ || !session_->ExecQuery(ToWide(QueryText(className, condition)))) return rows;
  while (WmiRow row = session_->Next()) rows.push_back(std::move(row));
  return rows;
}

std::string CWmiConnection::GetString(const WmiRow& row, const std::string& property) {
  platform::WmiValue value = ReadProperty(row, property);
  return value.type == platform::WmiValue::kString ? ToNarrow(value.text) : std::string();
}

bool CWmiConnection::GetBool(const WmiRow& row, const std::string& property) {
  platform::WmiValue value = ReadProperty(row, property);
  return value.type == platform::WmiValue::kBool && value.flag;
}

int CWmiConnection::GetInt(const WmiRow& row, const std::string& property) {
  if (!row) return -1;
  platform::WmiValue value = ReadProperty(row, property);
  return value.type == platform::WmiValue::kInt32 ? value.number : 0;
}

std::string CWmiConnection::GetValue(const std::string& className, const std::string& property,
                                     const std::string& condition) {
  WmiRow row = QueryFirst(className, condition);
  return GetString(row, property);
}

std::wstring CWmiConnection::GetValue(const std::wstring& className, const std::wstring& property,
                                      const std::wstring& condition) {
  if (!session_) return std::wstring();
  std::wstring text = L"SELECT * FROM " + className;
  if (!condition.empty()) text += L" WHERE " + condition;
  if (!session_->ExecQuery(text)) return std::wstring();
  WmiRow row = session_->Next();
  if (!row) return std::wstring();
  platform::WmiValue value = row->Get(property);
  return value.type == platform::WmiValue::kString ? value.text : std::wstring();
}

std::string CWmiConnection::GetAssociatedValue(const std::string& objectPath,
                                               const std::string& assocClass,
                                               const std::string& property) {
  if (!session_ || !session_->ExecQuery(ToWide(AssociatorsText(objectPath, assocClass))))
    return std::string();
  const std::wstring wideProperty = ToWide(property);
  std::wstring found;
  while (WmiRow row = session_->Next()) {
    platform::WmiValue value = row->Get(wideProperty);
    if (value.type == platform::WmiValue::kString) found = value.text;
  }
  return ToNarrow(found);
}

}  // namespace orvex
