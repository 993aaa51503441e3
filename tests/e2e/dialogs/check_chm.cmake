# The compiled help file is a real HTML Help file ("ITSF") holding every page.
# cmake -DCHM=<quillet.chm> -DPAGES=<a.htm;b.htm> -P check_chm.cmake
file(READ ${CHM} magic LIMIT 4 HEX)
if(NOT magic STREQUAL "49545346")  # "ITSF"
  message(FATAL_ERROR "${CHM} is not a compiled HTML Help file (starts with hex ${magic})")
endif()
file(READ ${CHM} content HEX)
foreach(page IN LISTS PAGES)
  string(HEX "/${page}" wanted)
  string(FIND "${content}" "${wanted}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${CHM} does not hold ${page}")
  endif()
endforeach()
message(STATUS "${CHM}: ITSF with ${PAGES}")
