# Shared build settings for the project's own targets.

find_package(Threads REQUIRED)

if(ZOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ZOR_FUZZ)
  # Instrument the libraries for coverage; the fuzz targets add the libFuzzer driver themselves.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings as errors on our own code only.
function(zor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endfunction()

# zor_library(<name> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A static library of one folder; its headers are included as "<folder>/<header>.h".
function(zor_library name)
  cmake_parse_arguments(Z "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${Z_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/libs)
  target_link_libraries(${name} PUBLIC ${Z_PUBLIC_LIBS} PRIVATE ${Z_PRIVATE_LIBS})
  zor_warnings(${name})
endfunction()

# Logic layers may use Qt Core at most; this fails the configure step when one links Widgets or Gui.
function(zor_forbid_gui target)
  get_target_property(libs ${target} LINK_LIBRARIES)
  foreach(l IN LISTS libs)
    if(l MATCHES "Qt6?::(Widgets|Gui)")
      message(FATAL_ERROR "${target} is a logic library and must not link ${l}")
    endif()
  endforeach()
endfunction()

# FreeImage and FreeImagePlus ship neither pkg-config nor CMake files.
find_path(FREEIMAGE_INCLUDE_DIR FreeImagePlus.h)
find_library(FREEIMAGE_LIBRARY freeimage)
find_library(FREEIMAGEPLUS_LIBRARY freeimageplus)
if(FREEIMAGE_INCLUDE_DIR AND FREEIMAGE_LIBRARY AND FREEIMAGEPLUS_LIBRARY)
  add_library(zor_freeimage INTERFACE)
  target_include_directories(zor_freeimage SYSTEM INTERFACE ${FREEIMAGE_INCLUDE_DIR})
  target_link_libraries(zor_freeimage INTERFACE ${FREEIMAGEPLUS_LIBRARY} ${FREEIMAGE_LIBRARY})
  add_library(FreeImage::FreeImagePlus ALIAS zor_freeimage)
else()
  message(FATAL_ERROR "FreeImage/FreeImagePlus not found (Debian: libfreeimageplus-dev)")
endif()

find_package(TIFF REQUIRED)
find_package(pugixml REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)
set(CMAKE_AUTOMOC OFF)

# Adds every sub-folder of the current folder that has a CMakeLists.txt, in name order: each is
# one topic owned by its own folder (bench/, fuzz/, tools/, tests/tools/).
function(zor_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
