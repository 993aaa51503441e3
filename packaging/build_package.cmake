# Builds Quillet's Windows Installer package (cmake -P), and signs the
# program and the package when a certificate is given.
#
#   cmake -DEXE=quillet.exe -DCHM=quillet.chm -DICON=quillet.ico
#         -DCLOSER=quillet_close_running.exe -DVERSION=1.0.5.0
#         -DOUTPUT=Quillet-1.0.5.0-x64.msi -DWORK_DIR=<scratch folder>
#         [-DSIGN_PFX=cert.pfx] [-DTIMESTAMP_URL=http://...]
#         -P build_package.cmake
#
# With SIGN_PFX, the password comes from the environment variable
# QUILLET_SIGN_PASSWORD (empty for a certificate without one), so it is
# never written into the build files; EXE is signed in place before it is
# packed, then the closing helper packed with it, then the package. No time-stamp server is asked unless
# TIMESTAMP_URL names one.
cmake_minimum_required(VERSION 3.25)

# Never changes: Windows Installer finds the installed Quillet by it.
set(UPGRADE_CODE "9BF19285-4FF4-482B-9461-59825A1C3AA0")

foreach(required EXE CHM ICON CLOSER VERSION OUTPUT WORK_DIR)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "build_package.cmake: ${required} is not given")
  endif()
endforeach()
get_filename_component(WORK_DIR ${WORK_DIR} ABSOLUTE)
foreach(input EXE CHM ICON CLOSER)
  if(NOT EXISTS "${${input}}")
    message(FATAL_ERROR "build_package.cmake: ${input} ${${input}} does not exist")
  endif()
endforeach()

# Windows Installer compares the first three fields of a version only, each
# within its range; a fourth field that differs would install a second copy
# beside the first, so the product code follows the three fields and a
# package that differs in the fourth alone counts as the same version.
if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$")
  message(FATAL_ERROR "build_package.cmake: version '${VERSION}' is not major.minor.build[.revision]")
endif()
set(major ${CMAKE_MATCH_1})
set(minor ${CMAKE_MATCH_2})
set(build ${CMAKE_MATCH_3})
if(major GREATER 255 OR minor GREATER 255 OR build GREATER 65535)
  message(FATAL_ERROR "build_package.cmake: version '${VERSION}' is beyond 255.255.65535, "
                      "which Windows Installer cannot compare")
endif()
string(UUID PRODUCT_CODE NAMESPACE ${UPGRADE_CODE} NAME "Quillet ${major}.${minor}.${build}"
       TYPE SHA1 UPPER)

find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
if(NOT WIXL OR NOT MSIBUILD)
  message(FATAL_ERROR "wixl and msibuild build the package: apt-get install wixl msitools")
endif()

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    list(GET ARGN 0 program)
    message(FATAL_ERROR "${program} failed (${result}):\n${output}")
  endif()
endfunction()

# Signs IN into OUT with SHA-256.
function(sign in out)
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "osslsigncode signs the program: apt-get install osslsigncode")
  endif()
  if(NOT DEFINED ENV{QUILLET_SIGN_PASSWORD})
    message(FATAL_ERROR "QUILLET_SIGN_PFX is given but QUILLET_SIGN_PASSWORD is not set "
                        "(set it empty for a certificate without a password)")
  endif()
  set(pass_file ${WORK_DIR}/sign.pass)
  file(WRITE ${pass_file} "")
  file(CHMOD ${pass_file} PERMISSIONS OWNER_READ OWNER_WRITE)
  file(WRITE ${pass_file} "$ENV{QUILLET_SIGN_PASSWORD}")
  set(timestamp)
  if(TIMESTAMP_URL)
    set(timestamp -ts ${TIMESTAMP_URL})
  endif()
  file(REMOVE ${out})
  execute_process(COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${SIGN_PFX} -readpass ${pass_file}
                          -h sha256 -n Quillet ${timestamp} -in ${in} -out ${out}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  file(REMOVE ${pass_file})
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "signing ${in} failed:\n${output}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

if(SIGN_PFX)
  # A program signed by an earlier run loses that signature first.
  set(unsigned ${WORK_DIR}/unsigned.exe)
  execute_process(COMMAND osslsigncode remove-signature -in ${EXE} -out ${unsigned}
                  RESULT_VARIABLE removed OUTPUT_QUIET ERROR_QUIET)
  if(NOT removed EQUAL 0)
    file(COPY_FILE ${EXE} ${unsigned})
  endif()
  sign(${unsigned} ${WORK_DIR}/signed.exe)
  file(COPY_FILE ${WORK_DIR}/signed.exe ${EXE})
endif()

# wixl takes source files by names relative to its folder only.
file(COPY_FILE ${EXE} ${WORK_DIR}/quillet.exe)
file(COPY_FILE ${CHM} ${WORK_DIR}/quillet.chm)
file(COPY_FILE ${ICON} ${WORK_DIR}/quillet.ico)
file(COPY_FILE ${CLOSER} ${WORK_DIR}/close_running.exe)
if(SIGN_PFX)
  sign(${WORK_DIR}/close_running.exe ${WORK_DIR}/close_running_signed.exe)
  file(RENAME ${WORK_DIR}/close_running_signed.exe ${WORK_DIR}/close_running.exe)
endif()
set(EXE quillet.exe)
set(CHM quillet.chm)
set(ICON quillet.ico)
set(CLOSER close_running.exe)
get_filename_component(here ${CMAKE_CURRENT_LIST_FILE} DIRECTORY)
set(wxs ${WORK_DIR}/quillet.wxs)
configure_file(${here}/quillet.wxs.in ${wxs} @ONLY)
set(msi ${WORK_DIR}/quillet.msi)
run(${WIXL} --arch x64 -o ${msi} ${wxs})

# What wixl has no syntax for. The helper runs before anything changes
# (InstallValidate is 1400), on install, upgrade, repair and removal alike.
run(${MSIBUILD} ${msi} -q
    "UPDATE `Component` SET `Condition` = 'AUTOSTART=\"1\"' WHERE `Component` = 'AutoStart'")
run(${MSIBUILD} ${msi} -q
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('CloseRunningCopy', 2, 'CloseRunning', '\"[INSTALLDIR]quillet.exe\" [UILevel]')")
run(${MSIBUILD} ${msi} -q
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('CloseRunningCopy', 1390)")
# Public properties a non-administrator may pass to a per-machine install.
run(${MSIBUILD} ${msi} -q
    "UPDATE `Property` SET `Value` = 'AUTOSTART\;INSTALLDIR\;WIX_DOWNGRADE_DETECTED\;WIX_UPGRADE_DETECTED' WHERE `Property` = 'SecureCustomProperties'")

if(SIGN_PFX)
  sign(${msi} ${WORK_DIR}/signed.msi)
  set(msi ${WORK_DIR}/signed.msi)
endif()
get_filename_component(output ${OUTPUT} ABSOLUTE)
get_filename_component(output_dir ${output} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
file(COPY_FILE ${msi} ${output})
