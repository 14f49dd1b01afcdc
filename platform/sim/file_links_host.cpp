// Hard links on the simulated machine: the host's link(2) between two sandbox paths. Neither
// name may be a host symbolic link (CreateHardLinkW links the file a name holds, and a link
// out of the sandbox is refused as every other call refuses it).
#include "platform/file_links.h"

#include <unistd.h>

#include <cerrno>

#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {

bool MakeHardLink(const std::wstring& link, const std::wstring& existing, uint32_t* error) {
  const sim::MappedPath to =
      sim::MapWindowsPath(link, !sim::FsRedirectionOff(), sim::LinkUse::kItself);
  const sim::MappedPath from =
      sim::MapWindowsPath(existing, !sim::FsRedirectionOff(), sim::LinkUse::kFollow);
  if (to.host.empty()) return ReportError(to.error ? to.error : kErrorPathNotFound, error);
  if (from.host.empty()) return ReportError(from.error ? from.error : kErrorFileNotFound, error);
  if (to.nullDevice || from.nullDevice) return ReportError(kErrorAccessDenied, error);
  if (sim::RefusedToNonAdministrator(to.host)) return ReportError(kErrorAccessDenied, error);
  if (::link(from.host.c_str(), to.host.c_str()) != 0)
    return ReportError(sim::WindowsErrorOfErrno(errno), error);
  sim::NoteNameAdded(to.host);
  return true;
}

}  // namespace platform
}  // namespace orvex
