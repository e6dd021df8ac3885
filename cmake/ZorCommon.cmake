# Shared build settings for the project's own targets.

# Packages found in one folder (Qt Svg in tools/render_art) are visible everywhere, so that
# zor_check_no_gui can follow a dependency through any of their targets.
set(CMAKE_FIND_PACKAGE_TARGETS_GLOBAL ON)

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
# GCC 12's -Wrestrict misreports `"text" + std::string` (libstdc++ inserts at the front) as an
# overlapping memcpy once inlined at -O2/-O3, a known false positive of that compiler. It fires on
# correct code all over the tree in Release builds, so GCC 12 builds leave that one warning out;
# real overlapping copies are still caught by the AddressSanitizer build.
function(zor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
endfunction()

# zor_public_headers(<target> <include name>)
# Publishes the current source folder to <target>'s users as "<include name>/<header>.h" and
# nothing else: the target's public include folder holds a single symbolic link
# <build>/zor_include/<target>/<include name> -> <this folder>. A target therefore sees its own
# headers and those of what it links (PUBLIC dependencies transitively), never the rest of the tree.
function(zor_public_headers target include_name)
  set(root ${PROJECT_BINARY_DIR}/zor_include/${target})
  set(link ${root}/${include_name})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  set(current "")
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} current)
  endif()
  if(NOT current STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    file(REMOVE ${link})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${link} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# zor_library(<name> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...] [INCLUDE_AS <path>])
# A static library of one folder; its headers are included as "<folder>/<header>.h", where
# <folder> is the folder's own name (INCLUDE_AS gives another, e.g. "tools/render_art").
function(zor_library name)
  cmake_parse_arguments(Z "" "INCLUDE_AS" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  if(NOT Z_INCLUDE_AS)
    get_filename_component(Z_INCLUDE_AS ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  endif()
  add_library(${name} STATIC ${Z_SOURCES})
  zor_public_headers(${name} ${Z_INCLUDE_AS})
  target_link_libraries(${name} PUBLIC ${Z_PUBLIC_LIBS} PRIVATE ${Z_PRIVATE_LIBS})
  zor_warnings(${name})
endfunction()

# zor_forbid_gui(<target>): marks a logic library (Qt Core at most). The check itself runs once
# every target is defined: zor_check_no_gui at the end of the top-level CMakeLists.txt.
function(zor_forbid_gui target)
  set_property(GLOBAL APPEND PROPERTY ZOR_LOGIC_TARGETS ${target})
endfunction()

# zor_forbid_widgets(<target>): marks a library that draws with Qt Gui into images but must not
# use Qt Widgets; checked by zor_check_no_gui like the logic libraries.
function(zor_forbid_widgets target)
  set_property(GLOBAL APPEND PROPERTY ZOR_NO_WIDGETS_TARGETS ${target})
endfunction()

# _zor_refuse_reach(<start> <pattern> <what>): fails the configure step when <start> reaches a
# library matching <pattern> through any chain of dependencies (LINK_LIBRARIES and
# INTERFACE_LINK_LIBRARIES of every target on the way, including private ones, which a static
# library passes on to the program), and names the chain.
function(_zor_refuse_reach start pattern what)
  if(NOT TARGET ${start})
    message(FATAL_ERROR "zor_check_no_gui: ${start} is not a target")
  endif()
  set(seen ${start})
  set(queue ${start})
  string(MAKE_C_IDENTIFIER "${start}" id)
  set(chain_${id} ${start})
  while(queue)
    list(POP_FRONT queue t)
    string(MAKE_C_IDENTIFIER "${t}" tid)
    set(deps "")
    foreach(prop LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(v ${t} ${prop})
      if(v)
        list(APPEND deps ${v})
      endif()
    endforeach()
    foreach(d IN LISTS deps)
      # "::@(...)" brackets items linked from another folder; $<LINK_ONLY:x> is a private
      # dependency of a static library, which still ends up in the program.
      if(d MATCHES "^::@")
        continue()
      endif()
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.+)>$" "\\1" d "${d}")
      if(d MATCHES "${pattern}")
        message(FATAL_ERROR "${start} ${what}; it reaches ${d} through ${chain_${tid}}")
      endif()
      if(d MATCHES "[$]<" OR NOT TARGET ${d} OR d IN_LIST seen)
        continue()
      endif()
      get_target_property(aliased ${d} ALIASED_TARGET)
      if(aliased)
        set(next ${aliased})
      else()
        set(next ${d})
      endif()
      list(APPEND seen ${d} ${next})
      string(MAKE_C_IDENTIFIER "${next}" nid)
      set(chain_${nid} "${chain_${tid}} -> ${d}")
      list(APPEND queue ${next})
    endforeach()
  endwhile()
endfunction()

# zor_check_no_gui(<target>...): fails the configure step when one of the targets, or a target
# marked with zor_forbid_gui, reaches Qt Gui or Qt Widgets, or a target marked with
# zor_forbid_widgets reaches Qt Widgets, through any chain of dependencies; names the chain.
function(zor_check_no_gui)
  get_property(marked GLOBAL PROPERTY ZOR_LOGIC_TARGETS)
  set(targets ${ARGN} ${marked})
  list(REMOVE_DUPLICATES targets)
  foreach(start IN LISTS targets)
    _zor_refuse_reach(${start} "Qt[0-9]*::(Gui|Widgets)|libQt[0-9]*(Gui|Widgets)[.]"
                      "is a logic library and must not use Qt Gui or Widgets")
  endforeach()
  get_property(painters GLOBAL PROPERTY ZOR_NO_WIDGETS_TARGETS)
  list(REMOVE_DUPLICATES painters)
  foreach(start IN LISTS painters)
    _zor_refuse_reach(${start} "Qt[0-9]*::Widgets|libQt[0-9]*Widgets[.]"
                      "draws without widgets and must not use Qt Widgets")
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
