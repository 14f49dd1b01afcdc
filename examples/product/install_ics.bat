@echo off
rem Prepares the network sharing of the Orvex virtual machine.
rem Called by the web installer after the package: install_ics.bat INSTALLDIR MAKER PRODUCT
rem This edition has no network driver to register; it records the call in the
rem installation folder so the set-up can be checked.
if "%~1"=="" exit /b 1
echo install_ics %~2 %~3> "%~1\install_ics.log"
exit /b 0
