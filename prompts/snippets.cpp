#include "prompts/snippets.h"

#include <string>

#include "common/restart_flag.h"

namespace orvex {

const char* const kDotNetDownloadSnippet =
    "{'class' : 'HTTPDownloader', 'name' :'DOTNET_DOWNLOADER', 'args' : { 'url' : "
    "'%ORVEX_DOWNLOAD_URL%/media/DotNet.cab', 'directory' : '.SessionDir', 'destination' : "
    "'dotnet.cab', 'sha256' : '.InstallConfig.system.dotnet.sha256'}, 'msg' : 'Downloading "
    ".Net installer'}, 'msg' : ''},";

const char* const kDotNetExtractionSnippet =
    "{'class' : 'CABExtractor', 'name' :'DOTNET_EXTRACTOR', 'args' : { 'cab' : 'dotnet.cab', "
    "'directory' : '.SessionDir', 'msg' : 'Extracting .Net setup'}, 'msg' : ''},";

const char* const kDotNetInstallationSnippet =
    "{'class' : 'InstallDOTNET', 'name' :'DOTNET_INSTALLER', 'args' : { 'dpinst_dir' : "
    "'.SessionDir', 'src_dir' : '.SessionDir', 'src_file' : 'gpudriver.zip', 'dest_dir' : "
    "'.SessionDir', 'dir_suffix' : 'Graphics'}, 'msg' : 'Installing .Net'}, 'msg' : ''},";

const char* const kDriverAddressQuerySnippet =
    "{'class' : 'AjaxRequest', 'name' :'GET_DRIVER_URL', 'args' : {'request_url' : "
    "'%ORVEX_SERVER_URL%/index/driverupdate', 'request_args' : { 'platform' : "
    "'.Config.platform.os_arch', 'vendorid' : '.Config.gpu.gpu1.vendorid', 'deviceid' : "
    "'.Config.gpu.gpu1.deviceid' }, 'is_res_json' : false, 'res_path' : "
    "'.InstallConfig.display.driver.url'}, 'msg' : ''},";

const char* const kDriverDownloadSnippet =
    "{'class' : 'HTTPDownloader', 'name' :'GPU_DOWNLOADER', 'args' : { 'url' : "
    "'.InstallConfig.display.driver.url', 'directory' : '.SessionDir', 'destination' : "
    "'gpudriver.zip', 'sha256' : '.InstallConfig.display.driver.sha256'}, 'msg' : "
    "'Downloading Graphics Driver'}, 'msg' : ''},";

namespace {
// The driver installation records at the restart flag whether Windows asked for a restart.
const std::string kDriverInstallationText =
    std::string(
        "{'class' : 'DPInstaller', 'name' :'GPU_INSTALLER', 'args' : { 'dpinst_dir' : "
        "'.SessionDir', 'src_dir' : '.SessionDir', 'src_file' : 'gpudriver.zip', "
        "'dest_dir' : '.SessionDir', 'dir_suffix' : 'Graphics', 'is_restart' : '") +
    kRestartFlagPath + "' }, 'msg' : 'Installing Graphics Driver'}, 'msg' : ''},";
}  // namespace

const char* const kDriverInstallationSnippet = kDriverInstallationText.c_str();

const char* const kRestartSnippet =
    "{'class' : 'RestartSystem', 'name' :'RESTART_SYSTEM', 'args' : {}, 'msg' : ''},";

}  // namespace orvex
