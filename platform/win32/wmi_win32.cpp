// WMI over COM: IWbemLocator -> IWbemServices -> IEnumWbemClassObject -> IWbemClassObject.
// Every failure is an empty answer; nothing here throws.
#include "platform/wmi.h"

#include <windows.h>
#include <oleauto.h>
#include <wbemidl.h>

namespace orvex {
namespace platform {
namespace {

template <typename T>
void ReleaseAndClear(T** object) {
  if (*object) {
    (*object)->Release();
    *object = nullptr;
  }
}

// A BSTR for the lifetime of a call (ExecQuery wants BSTRs, not plain wide strings).
class ScopedBstr {
 public:
  explicit ScopedBstr(const std::wstring& text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~ScopedBstr() { SysFreeString(value_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

WmiValue FromVariant(const VARIANT& variant) {
  WmiValue value;
  switch (V_VT(&variant)) {
    case VT_NULL:
      value.type = WmiValue::kNull;
      break;
    case VT_BSTR:
      value.type = WmiValue::kString;
      if (V_BSTR(&variant)) value.text.assign(V_BSTR(&variant), SysStringLen(V_BSTR(&variant)));
      break;
    case VT_BOOL:
      value.type = WmiValue::kBool;
      value.flag = V_BOOL(&variant) == VARIANT_TRUE;
      break;
    case VT_I4:
      value.type = WmiValue::kInt32;
      value.number = V_I4(&variant);
      break;
    default:
      value.type = WmiValue::kOther;
      break;
  }
  return value;
}

class WmiRow : public IWmiRow {
 public:
  explicit WmiRow(IWbemClassObject* object) : object_(object) {}
  ~WmiRow() override { ReleaseAndClear(&object_); }
  WmiRow(const WmiRow&) = delete;
  WmiRow& operator=(const WmiRow&) = delete;

  WmiValue Get(const std::wstring& property) const override {
    VARIANT variant;
    VariantInit(&variant);
    WmiValue value;  // kNull unless Get succeeds
    if (SUCCEEDED(object_->Get(property.c_str(), 0, &variant, nullptr, nullptr)))
      value = FromVariant(variant);
    VariantClear(&variant);
    return value;
  }

 private:
  IWbemClassObject* object_;
};

class WmiSession : public IWmiSession {
 public:
  ~WmiSession() override {
    ReleaseAndClear(&enumerator_);
    ReleaseAndClear(&services_);
    ReleaseAndClear(&locator_);
    if (comInitialized_ && !keepCom_) CoUninitialize();
  }

  // Steps in the order WMI needs them; false leaves the session unusable and the destructor
  // undoes whatever was done.
  bool Connect(const std::wstring& wmiNamespace) {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (hr == RPC_E_CHANGED_MODE) {
      // The thread already lives in a single-threaded apartment (a window thread): join it
      // and leave COM as we found it afterwards.
      hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      if (hr != S_OK && hr != S_FALSE) return false;
      keepCom_ = true;
    } else if (hr != S_OK && hr != S_FALSE) {
      return false;
    }
    comInitialized_ = true;

    hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    // RPC_E_TOO_LATE: an earlier connection of this process already set it.
    if (FAILED(hr) && hr != RPC_E_TOO_LATE) return false;

    hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                          reinterpret_cast<void**>(&locator_));
    if (FAILED(hr) || !locator_) {
      locator_ = nullptr;
      return false;
    }

    ScopedBstr resource(wmiNamespace);
    hr = locator_->ConnectServer(resource.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                 &services_);
    if (FAILED(hr) || !services_) {
      services_ = nullptr;
      return false;
    }
    // Not every provider supports the blanket; the queries work without it.
    CoSetProxyBlanket(services_, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return true;
  }

  bool ExecQuery(const std::wstring& wql) override {
    // The previous query's enumerator goes first, so a failed query leaves none behind.
    ReleaseAndClear(&enumerator_);
    if (!locator_ || !services_) return false;
    ScopedBstr language(L"WQL");
    ScopedBstr text(wql);
    HRESULT hr = services_->ExecQuery(language.get(), text.get(), WBEM_FLAG_FORWARD_ONLY, nullptr,
                                      &enumerator_);
    if (FAILED(hr) || !enumerator_) {
      enumerator_ = nullptr;
      return false;
    }
    return true;
  }

  std::unique_ptr<IWmiRow> Next() override {
    if (!enumerator_) return nullptr;
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    HRESULT hr = enumerator_->Next(WBEM_INFINITE, 1, &object, &returned);
    if (hr != WBEM_S_NO_ERROR || returned == 0 || !object) {
      if (object) object->Release();
      return nullptr;
    }
    return std::unique_ptr<IWmiRow>(new WmiRow(object));
  }

 private:
  IWbemLocator* locator_ = nullptr;
  IWbemServices* services_ = nullptr;
  IEnumWbemClassObject* enumerator_ = nullptr;
  bool comInitialized_ = false;
  bool keepCom_ = false;
};

}  // namespace

std::unique_ptr<IWmiSession> ConnectWmi(const std::wstring& wmiNamespace) {
  std::unique_ptr<WmiSession> session(new WmiSession);
  if (!session->Connect(wmiNamespace)) return nullptr;
  return session;
}

}  // namespace platform
}  // namespace orvex
