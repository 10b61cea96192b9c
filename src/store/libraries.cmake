# The reference data under data/ is compiled into kdx2_store, so the program
# builds its supplied tables without any data file at run time.
#
# Included by kdx2_subsystem(store); run with "cmake -P" (DATA_DIR, OUTPUT
# set) it writes the generated source itself.

if(CMAKE_SCRIPT_MODE_FILE)
  # Each file becomes a raw string literal; the delimiter must not occur in it.
  set(delimiter "kdx2data")
  file(GLOB_RECURSE files RELATIVE ${DATA_DIR} ${DATA_DIR}/*.csv ${DATA_DIR}/*.tsv ${DATA_DIR}/*.txt)
  list(SORT files)
  set(body "// Generated from data/ by src/store/libraries.cmake; do not edit.\n")
  string(APPEND body "#include <string_view>\n#include <utility>\n\n")
  string(APPEND body "namespace kdx2::store::supplied {\n\n")
  string(APPEND body "extern const std::pair<std::string_view, std::string_view> kEmbeddedFiles[];\n")
  string(APPEND body "extern const unsigned kEmbeddedFileCount;\n\n")
  string(APPEND body "const std::pair<std::string_view, std::string_view> kEmbeddedFiles[] = {\n")
  set(count 0)
  foreach(file IN LISTS files)
    file(READ ${DATA_DIR}/${file} content)
    string(FIND "${content}" ")${delimiter}\"" clash)
    if(NOT clash EQUAL -1)
      message(FATAL_ERROR "data/${file} contains the raw-string delimiter")
    endif()
    string(APPEND body "    {\"${file}\", R\"${delimiter}(${content})${delimiter}\"},\n")
    math(EXPR count "${count} + 1")
  endforeach()
  string(APPEND body "};\n\nconst unsigned kEmbeddedFileCount = ${count};\n\n}  // namespace kdx2::store::supplied\n")
  file(WRITE ${OUTPUT}.new "${body}")
  file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
  file(REMOVE ${OUTPUT}.new)
  return()
endif()

set(kdx2_data_dir ${PROJECT_SOURCE_DIR}/data)
set(kdx2_embedded ${CMAKE_BINARY_DIR}/generated/supplied_embedded.cpp)
file(GLOB_RECURSE kdx2_data_files CONFIGURE_DEPENDS
  ${kdx2_data_dir}/*.csv ${kdx2_data_dir}/*.tsv ${kdx2_data_dir}/*.txt)
add_custom_command(
  OUTPUT ${kdx2_embedded}
  COMMAND ${CMAKE_COMMAND} -DDATA_DIR=${kdx2_data_dir} -DOUTPUT=${kdx2_embedded}
          -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${kdx2_data_files} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Embedding the reference data of data/"
  VERBATIM)
target_sources(kdx2_${name} PRIVATE ${kdx2_embedded})
