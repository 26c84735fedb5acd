# cmake -DOBJDUMP=... -DMODULE=Brightfall.dll [-DEXPORTS=a,b] -P CheckWindowsModule.cmake
cmake_policy(SET CMP0057 NEW)  # IN_LIST
# A user copies Brightfall.dll (or the VST 3 bundle) alone: the module may
# import nothing but what every Windows has, and it exports the entry points
# hosts look up and nothing else (a stray export would mean a symbol left
# visible by mistake). EXPORTS, sorted and separated by commas, defaults to
# the VST 2 module's.
if(NOT DEFINED EXPORTS)
  set(EXPORTS "VSTPluginMain,main")
endif()
string(REPLACE "," ";" EXPORTS "${EXPORTS}")
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed (${rc})")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
list(TRANSFORM imports REPLACE "DLL Name: " "")
list(TRANSFORM imports TOUPPER)
list(REMOVE_DUPLICATES imports)
set(allowed KERNEL32.DLL USER32.DLL GDI32.DLL MSVCRT.DLL)
foreach(dll ${imports})
  if(NOT dll IN_LIST allowed)
    message(FATAL_ERROR "${MODULE} imports ${dll}; only ${allowed} may be imported")
  endif()
endforeach()

# Brackets would upset CMake's list splitting: take the names alone.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)+)" table "${dump}")
string(REGEX REPLACE "[ \t]+\\[[ 0-9]+\\] ([^\n]+)\n" "\\1;" exports "${CMAKE_MATCH_1}")
list(REMOVE_ITEM exports "")
list(SORT exports)
if(NOT exports STREQUAL EXPORTS)
  message(FATAL_ERROR "${MODULE} exports '${exports}'; it must export '${EXPORTS}' only")
endif()
message(STATUS "${MODULE}: imports ${imports}; exports ${exports}")
