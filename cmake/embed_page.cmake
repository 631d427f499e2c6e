# Turns the browser board's page files into one C++ source of byte arrays.
# Inputs: OUTPUT, and FILES: absolute paths separated by "|".
string(REPLACE "|" ";" FILES "${FILES}")
set(arrays "")
set(entries "")
set(index 0)
foreach(path IN LISTS FILES)
  get_filename_component(name "${path}" NAME)
  get_filename_component(ext "${path}" EXT)
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(ext STREQUAL ".svg")
    set(type "image/svg+xml")
  else()
    message(FATAL_ERROR "page file ${path}: no content type for '${ext}'")
  endif()
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(REGEX REPLACE "(('\\\\x..',){16})" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const char file${index}[] = {\n${bytes}};\n")
  string(APPEND entries "        {\"/${name}\", \"${type}\", file${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated from web/page; do not edit.
#include \"web/page_assets.h\"
namespace pentad::web {
namespace {
${arrays}}
const std::vector<PageAsset> &pageAssets() {
    static const std::vector<PageAsset> assets = {
${entries}    };
    return assets;
}
}
")
# Rewritten only when changed, so an unchanged page does not rebuild the server.
configure_file("${OUTPUT}.new" "${OUTPUT}" COPYONLY)
