# Clipper 6.4.2 for the Windows build, compiled from Debian's source package of the library the
# Linux build links (libpolyclipping 6.4.2-7), so pimu.exe unites the shadow regions with the
# very same code. The Debian patches of that release touch only the library's CMake and
# pkg-config files, so the upstream tarball Debian ships is the whole source.
#
# The tarball is fetched from the Debian archive once per build folder and checked against the
# SHA-256 of the signed libpolyclipping_6.4.2-7.dsc. Offline: download it elsewhere and pass
# -DPIMU_POLYCLIPPING_ARCHIVE=/path/to/libpolyclipping_6.4.2.orig.tar.bz2.
set(pimu_polyclipping_sha256 69a2fadc3c0b6c06c3f77e92067b65e28e398a75d1260e9114c283a04e76c463)
# Plain HTTP as apt uses it (no CA certificates needed): the pinned SHA-256 is what is trusted.
set(pimu_polyclipping_url
  http://deb.debian.org/debian/pool/main/libp/libpolyclipping/libpolyclipping_6.4.2.orig.tar.bz2)
set(PIMU_POLYCLIPPING_ARCHIVE "" CACHE FILEPATH
  "libpolyclipping_6.4.2.orig.tar.bz2 (Debian's source of Clipper); empty: download it")

set(pimu_polyclipping_dir ${CMAKE_BINARY_DIR}/_deps/polyclipping)
set(archive ${PIMU_POLYCLIPPING_ARCHIVE})
if(NOT archive)
  set(archive ${pimu_polyclipping_dir}/libpolyclipping_6.4.2.orig.tar.bz2)
  if(EXISTS ${archive})
    file(SHA256 ${archive} have)
  endif()
  if(NOT have STREQUAL pimu_polyclipping_sha256)
    message(STATUS "Downloading Clipper's source: ${pimu_polyclipping_url}")
    file(DOWNLOAD ${pimu_polyclipping_url} ${archive}.part STATUS status)
    list(GET status 0 code)
    if(NOT code EQUAL 0)
      list(GET status 1 reason)
      file(REMOVE ${archive}.part)
      message(FATAL_ERROR "Cannot download Clipper's source (${reason}) from "
        "${pimu_polyclipping_url}. Download it elsewhere and pass "
        "-DPIMU_POLYCLIPPING_ARCHIVE=/path/to/libpolyclipping_6.4.2.orig.tar.bz2")
    endif()
    file(RENAME ${archive}.part ${archive})
  endif()
endif()
file(SHA256 ${archive} have)
if(NOT have STREQUAL pimu_polyclipping_sha256)
  message(FATAL_ERROR "${archive} is not Debian's libpolyclipping_6.4.2.orig.tar.bz2 "
    "(SHA-256 ${have}, expected ${pimu_polyclipping_sha256})")
endif()

# The tarball's one top folder has a random name; take cpp/clipper.* from wherever it is.
set(source ${pimu_polyclipping_dir}/src)
if(NOT EXISTS ${source}/polyclipping/clipper.cpp)
  file(REMOVE_RECURSE ${pimu_polyclipping_dir}/unpack)
  file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${pimu_polyclipping_dir}/unpack
       PATTERNS */cpp/clipper.cpp */cpp/clipper.hpp */License.txt)
  file(GLOB_RECURSE found ${pimu_polyclipping_dir}/unpack/*/cpp/clipper.cpp)
  get_filename_component(found ${found} DIRECTORY)
  file(MAKE_DIRECTORY ${source}/polyclipping)
  file(COPY ${found}/clipper.cpp ${found}/clipper.hpp ${found}/../License.txt
       DESTINATION ${source}/polyclipping)
  file(REMOVE_RECURSE ${pimu_polyclipping_dir}/unpack)
endif()

# Third-party code: built as Debian builds it (no Pimu warnings as errors), static.
add_library(pimu_polyclipping STATIC ${source}/polyclipping/clipper.cpp)
target_include_directories(pimu_polyclipping SYSTEM PUBLIC ${source})
