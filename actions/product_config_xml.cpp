#include "actions/product_config_xml.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "base/text.h"
#include "engine/value_path.h"
#include "platform/files.h"
#include "probes/environment_helpers.h"

namespace orvex {

namespace {

constexpr const char* kCrLf = "\r\n";

Json::Value SharedFolder(const std::string& name, const std::string& path) {
  Json::Value folder(Json::objectValue);
  folder["name"] = name;
  folder["path"] = path;
  return folder;
}

// Text as element content: the markup characters as references; the control characters that
// XML 1.0 does not allow in a document are dropped.
std::string XmlText(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '&')
      escaped += "&amp;";
    else if (c == '<')
      escaped += "&lt;";
    else if (c == '>')
      escaped += "&gt;";
    else if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
      continue;
    else
      escaped += c;
  }
  return escaped;
}

// The signed value, also for an unsigned integer above the signed range.
std::string IntegerText(const Json::Value& value) {
  if (value.isInt64()) return std::to_string(value.asInt64());
  return std::to_string(static_cast<int64_t>(value.asUInt64()));
}

void AppendUnit(std::string& bytes, uint32_t unit) {
  bytes += static_cast<char>(unit & 0xFF);
  bytes += static_cast<char>((unit >> 8) & 0xFF);
}

}  // namespace

Json::Value BuildConfigTree(const Json::Value& doc) {
  const std::string profile = GetSystemDrive() + "\\Users\\" + "%USER_PROFILE%";
  Json::Value tree(Json::objectValue);
  Json::Value& orvex = tree["orvex"];
  orvex["version"] = "4";
  orvex["sdkversion"] = "0x16";
  orvex["system"]["processor"]["count"] = GetIntByPath(doc, ".InstallConfig.system.cpus");
  orvex["system"]["modified"] = 1;
  Json::Value& devices = orvex["devices"];
  devices["camera"]["status"] = GetStringByPath(doc, ".InstallConfig.devices.camera");
  devices["sensor"]["status"] = GetStringByPath(doc, ".InstallConfig.devices.sensor");
  devices["network"]["status"] = GetStringByPath(doc, ".InstallConfig.devices.network");
  devices["gps"]["status"] = GetStringByPath(doc, ".InstallConfig.devices.gps");
  devices["generic"]["wifi"] = GetStringByPath(doc, ".InstallConfig.devices.generic");
  devices["modified"] = 1;
  Json::Value& shared = orvex["sharedfolders"];
  shared["Music"] = SharedFolder("Music", "");
  shared["Pictures"] = SharedFolder("Pictures", "");
  shared["Videos"] = SharedFolder("Videos", "");
  shared["Documents"] = SharedFolder("Documents", profile + "\\OrvexShare");
  // The drive of the shared tmp folder is fixed text, not the system drive.
  shared["tmp"] = SharedFolder("tmp", "C:\\ProgramData\\Quarn\\Orvex\\Shared\\tmp");
  shared["folders"] = "Music,Pictures,Videos,Documents,tmp";
  shared["modified"] = 1;
  orvex["sdcard"]["path"] = "sdcard";
  orvex["sdcard"]["size"] = "8 KB";
  orvex["sdcard"]["modified"] = 1;
  orvex["language"]["modified"] = 1;
  orvex["imgpath"]["datafs"] = profile + "\\.ORVEX\\datafs.vdi";
  orvex["imgpath"]["sdcard"] = profile + "\\.ORVEX\\sdcard.vdi";
  orvex["imgpath"]["modified"] = 1;
  orvex["users"]["userprofile"] = "%USER_PROFILE%";
  orvex["sumode"]["enabled"] = 0;
  orvex["gamepad"]["enabled"] = 1;
  orvex["androidlog"]["serialport"] = 0;
  return tree;
}

std::string JsonToXml(const Json::Value& value, int depth) {
  if (!value.isObject()) return std::string();
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  std::string xml;
  for (const std::string& name : value.getMemberNames()) {
    const Json::Value& member = value[name];
    xml += indent + "<" + name + ">";
    if (member.type() == Json::intValue || member.type() == Json::uintValue) {
      xml += IntegerText(member);
    } else if (member.isString()) {
      xml += XmlText(member.asString());
    } else if (member.isNull() || member.isObject()) {
      xml += kCrLf + JsonToXml(member, depth + 1) + indent;
    }
    xml += "</" + name + ">" + kCrLf;
  }
  return xml;
}

std::string ConfigXmlText(const Json::Value& tree) {
  return std::string("<?xml version=\"1.0\" encoding=\"utf-16\"?>") + kCrLf + JsonToXml(tree, 0) +
         kCrLf;
}

std::string ConfigXmlFileBytes(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : ToWide(text)) {
    uint32_t code = static_cast<uint32_t>(c);
    if (code == '\n') AppendUnit(bytes, '\r');
    AppendUnit(bytes, code);
  }
  return bytes;
}

bool WriteConfigXml(const std::wstring& path, const std::string& text) {
  platform::ScopedFile file = platform::OpenForWriting(path, nullptr);
  if (!file) return false;
  const std::string bytes = ConfigXmlFileBytes(text);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  return platform::CloseFile(std::move(file)) && written;
}

}  // namespace orvex
