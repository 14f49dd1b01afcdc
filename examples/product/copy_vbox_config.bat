@echo off
rem Copies the virtual machine's default settings into the user-data folder.
rem Called by the web installer after the package: copy_vbox_config.bat VMDIR
if "%~1"=="" exit /b 1
if not exist "%~1" mkdir "%~1"
copy /y "%~dp0orvexvm.vbox" "%~1\orvexvm.vbox" > nul
exit /b 0
