# The Windows build: the same classes, frame and text layers as on Linux, over
# the platform layer of src/platform/win/ (the platform's own graphics device
# interface, media control interface, registry, files, message boxes and
# message loop) and the platform's automation runtime (OLEAUT32).  The result
# is tavolin2.dll, an in-process server with a type library and a string
# table as resources.  Included by the top CMakeLists.txt when WIN32.

set(root ${CMAKE_CURRENT_BINARY_DIR}/layers/win)
file(MAKE_DIRECTORY ${root})
foreach(dir base platform frame imaging barcode media vendor)
  if(NOT EXISTS ${root}/${dir})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/src/${dir} ${root}/${dir} SYMBOLIC)
  endif()
endforeach()

# The platform layer: the Windows twins of src/platform/ (none of the Linux
# files; the apartments' call queues are the platform's message queues).
file(GLOB TAVOLIN2_WIN_PLATFORM CONFIGURE_DEPENDS src/platform/win/*.cpp)
file(GLOB TAVOLIN2_WIN_COMMON CONFIGURE_DEPENDS
  src/base/*.cpp src/frame/*.cpp src/frame/win/*.cpp
  src/imaging/*.cpp src/barcode/*.cpp src/media/*.cpp src/vendor/*.cpp)
# Linux stand-ins of the frame that the platform provides on Windows: the type
# information (the embedded type library instead), the cross-thread
# marshalling (the platform's proxies), the vendor texts compiled in (the
# string table resource instead).
list(REMOVE_ITEM TAVOLIN2_WIN_COMMON
  ${CMAKE_CURRENT_SOURCE_DIR}/src/frame/typeinfo.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/frame/marshal.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/vendor/string_table.cpp)

set(gen ${CMAKE_CURRENT_BINARY_DIR}/generated)
configure_file(cmake/version.h.in ${gen}/tavolin2/version.h @ONLY)
# The vendor texts as a string table resource, from the same rows as on Linux.
add_custom_command(OUTPUT ${gen}/strings.rc
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_CURRENT_SOURCE_DIR}/src/vendor/string_table.cpp -DOUT=${gen}/strings.rc
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/stringtable.cmake
  DEPENDS src/vendor/string_table.cpp cmake/stringtable.cmake VERBATIM)
# The interface definition, expanded from the member rows by the preprocessor,
# compiled to a type library by widl and embedded as resource TYPELIB 1.
add_custom_command(OUTPUT ${gen}/tavolin2.idl
  COMMAND ${CMAKE_COMMAND} -DCPP=${CMAKE_C_COMPILER} -DSRC=${CMAKE_CURRENT_SOURCE_DIR} -DOUT=${gen}/tavolin2.idl
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/idl.cmake
  DEPENDS src/win/tavolin2.idl.in include/tavolin2/members.h src/frame/guids.cpp cmake/idl.cmake
  COMMENT "tavolin2.idl from the member rows" VERBATIM)
# widl needs the platform's interface definitions (oaidl.idl, from Wine's
# development files) and its stdole2.tlb for importlib.
find_path(TAVOLIN2_IDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
  /usr/share/mingw-w64/include NO_CMAKE_FIND_ROOT_PATH)
find_path(TAVOLIN2_STDOLE_DIR stdole2.tlb PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
  NO_CMAKE_FIND_ROOT_PATH)
if(NOT TAVOLIN2_WIDL OR NOT TAVOLIN2_IDL_DIR OR NOT TAVOLIN2_STDOLE_DIR)
  message(FATAL_ERROR "the type library needs widl (mingw-w64-tools), oaidl.idl (libwine-dev) and stdole2.tlb (wine64)")
endif()
# The type library's system kind follows the DLL's architecture: a 32-bit
# process finds only a SYS_WIN32 library (TypeLib\{...}\1.0\409\win32), and
# its dispatch interfaces' slots are 4-byte pointers.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TAVOLIN2_WIDL_ARCH -m32 --win32)
else()
  set(TAVOLIN2_WIDL_ARCH -m64 --win64)
endif()
add_custom_command(OUTPUT ${gen}/tavolin2.tlb ${gen}/tavolin2_idl.h
  COMMAND ${TAVOLIN2_WIDL} ${TAVOLIN2_WIDL_ARCH} -t -h -I${TAVOLIN2_IDL_DIR} -L${TAVOLIN2_STDOLE_DIR}
          -o ${gen}/tavolin2.tlb -H ${gen}/tavolin2_idl.h ${gen}/tavolin2.idl
  DEPENDS ${gen}/tavolin2.idl
  COMMENT "tavolin2.tlb (widl)" VERBATIM)
add_custom_target(tavolin2_typelib DEPENDS ${gen}/tavolin2.tlb ${gen}/tavolin2_idl.h ${gen}/strings.rc)

enable_language(RC)
set(TAVOLIN2_RC ${CMAKE_CURRENT_SOURCE_DIR}/src/win/tavolin2.rc)
set_source_files_properties(${TAVOLIN2_RC} PROPERTIES OBJECT_DEPENDS "${gen}/tavolin2.tlb;${gen}/strings.rc")

add_library(tavolin2 SHARED
  ${TAVOLIN2_WIN_COMMON} ${TAVOLIN2_WIN_PLATFORM}
  ${TAVOLIN2_RC} src/win/tavolin2.def)
add_dependencies(tavolin2 tavolin2_typelib)
set_target_properties(tavolin2 PROPERTIES PREFIX "" OUTPUT_NAME tavolin2)
target_include_directories(tavolin2 PRIVATE ${root} src ${CMAKE_CURRENT_SOURCE_DIR}/include ${gen})
target_compile_definitions(tavolin2 PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
# -Wrestrict: GCC 12's false report inside libstdc++'s string insert when it
# inlines u"..." + String at -O3 (GCC bug 105329); the code is the Linux build's.
target_compile_options(tavolin2 PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-strict-aliasing -Wno-restrict>)
# i686 code would keep intermediate results in the x87 registers' 80 bits and
# round differently from x86-64 (Resample's pixels, the octree's sums): SSE2
# arithmetic makes every floating step the same on both architectures and Linux.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(tavolin2 PRIVATE -msse2 -mfpmath=sse)
endif()
target_include_directories(tavolin2 PRIVATE $<$<COMPILE_LANGUAGE:RC>:${gen}>)
# One file with the C++ runtime inside: the DLL needs nothing beside the system's own.
target_link_options(tavolin2 PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at $<$<CONFIG:Release>:-s>)
target_link_libraries(tavolin2 PRIVATE oleaut32 ole32 uuid gdi32 user32 winmm advapi32 shlwapi)

# The C client of the tests: early-bound calls through the widl header.
if(TAVOLIN2_TESTS AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/client.c)
  add_executable(t2client tests/windows/client.c)
  add_dependencies(t2client tavolin2_typelib)
  target_include_directories(t2client PRIVATE ${gen})
  target_link_options(t2client PRIVATE -static)
  target_link_libraries(t2client PRIVATE ole32 oleaut32 uuid version)
  # The script tests' picture loader (the script host here has no LoadPicture).
  add_library(t2pictures SHARED tests/windows/pictures.c tests/windows/pictures.def)
  set_target_properties(t2pictures PROPERTIES PREFIX "")
  target_link_options(t2pictures PRIVATE -static -Wl,--kill-at)
  target_link_libraries(t2pictures PRIVATE ole32 oleaut32 uuid advapi32)
endif()
