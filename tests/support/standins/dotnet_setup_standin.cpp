// Stands in for the .NET setup in the tests: records that it started, with its command line,
// in dotnet_setup-record.txt beside the executable, and ends.
#include <windows.h>

#include "tests/support/standins/standin_record.h"

// A window program: started by the shell it opens no console.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  orvex::standin::WriteRecord(
      L"dotnet_setup-record.txt",
      "started\ncommandline=" + orvex::standin::Utf8(GetCommandLineW()) + "\n");
  return 0;
}
