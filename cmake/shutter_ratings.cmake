# The makers' shutter ratings compiled into the photo reader, from src/photo/shutter-ratings.tsv:
#   cmake -DIN=shutter-ratings.tsv -DOUT=shutter_ratings_table.inc -P cmake/shutter_ratings.cmake
# Run by the native build (src/photo/CMakeLists.txt) and by scripts/site for the WebAssembly
# reader, so both carry the same table. Every row is checked; one that does not hold together
# stops the build with its line number, since a wrong figure beside a count misleads a buyer.
cmake_minimum_required(VERSION 3.20)

if(NOT IN OR NOT OUT)
  message(FATAL_ERROR "usage: cmake -DIN=shutter-ratings.tsv -DOUT=table.inc -P shutter_ratings.cmake")
endif()

set(kHeader "make\tmodel\tmarketing_name\trated_actuations\tshutter\tsource_kind\tsource_url\tnote")

function(fail line why)
  message(FATAL_ERROR "${IN}:${line}: ${why}")
endfunction()

file(READ "${IN}" text)
# CMake lists split on ';' and treat brackets specially; the notes hold both. They are put out of
# the way before the text is cut into lines and fields (only the note may contain them).
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "[" "<open>" text "${text}")
string(REPLACE "]" "<close>" text "${text}")
string(REPLACE "\r" "" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

set(rows "")
set(models "")
set(number 0)
set(header_seen FALSE)
foreach(line IN LISTS lines)
  math(EXPR number "${number} + 1")
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(NOT header_seen)
    if(NOT line STREQUAL kHeader)
      fail(${number} "the header is not the eight columns make, model, marketing_name, rated_actuations, shutter, source_kind, source_url, note")
    endif()
    set(header_seen TRUE)
    continue()
  endif()

  string(REPLACE "\t" ";" fields "${line}")
  list(LENGTH fields n)
  if(NOT n EQUAL 8)
    fail(${number} "${n} columns, not 8")
  endif()
  list(GET fields 0 make)
  list(GET fields 1 model)
  list(GET fields 3 rated)
  list(GET fields 4 shutter)
  list(GET fields 5 kind)
  list(GET fields 6 url)
  list(GET fields 7 note)

  # Texts that go into the program: printable ASCII as cameras write it, nothing to escape.
  if(NOT make MATCHES "^[A-Za-z][A-Za-z -]*$")
    fail(${number} "make '${make}' is not a brand name")
  endif()
  if(NOT model MATCHES "^[!-~]([ -~]*[!-~])?$" OR model MATCHES "[\"\\\\<>]")
    fail(${number} "model '${model}' is not a camera's model string (printable ASCII, no surrounding spaces)")
  endif()
  if(model IN_LIST models)
    fail(${number} "model '${model}' has a row already")
  endif()
  list(APPEND models "${model}")

  # An empty figure is only for a body without a mechanical shutter; a figure is for one with.
  if(rated STREQUAL "")
    if(NOT shutter MATCHES "no mechanical shutter")
      fail(${number} "no rated_actuations, but the shutter column does not say there is no mechanical shutter")
    endif()
    set(rated 0)
  elseif(NOT rated MATCHES "^[1-9][0-9]*$" OR rated MATCHES "^[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]")
    fail(${number} "rated_actuations '${rated}' is not a whole number of actuations")
  elseif(rated GREATER 4294967295)
    fail(${number} "rated_actuations '${rated}' is beyond what a camera counts")
  elseif(NOT shutter MATCHES "^mechanical")
    fail(${number} "a figure for a shutter that is not mechanical ('${shutter}')")
  endif()

  if(NOT url MATCHES "^https?://([A-Za-z0-9.-]+\\.[A-Za-z]+)(/|$)")
    fail(${number} "source_url '${url}' is not a web address")
  endif()
  string(TOLOWER "${CMAKE_MATCH_1}" host)
  string(REGEX REPLACE "^www\\." "" host "${host}")

  # Who published the figure: the maker itself, or the publication that quoted it (its site's name).
  if(kind STREQUAL "maker")
    set(rated_by "${make}")
    set(quoted false)
  elseif(kind STREQUAL "review-quoting-maker")
    set(rated_by "${host}")
    set(quoted true)
  else()
    fail(${number} "source_kind '${kind}' is neither maker nor review-quoting-maker")
  endif()
  # "Tested to over 100,000": the table keeps 100,000 and its note says the figure is a floor.
  if(note MATCHES "is a floor")
    set(floor true)
  else()
    set(floor false)
  endif()

  string(APPEND rows "    {\"${make}\", \"${model}\", ${rated}, \"${rated_by}\", ${quoted}, ${floor}},\n")
endforeach()

if(NOT header_seen)
  fail(${number} "no header row")
endif()
if(rows STREQUAL "")
  fail(${number} "no rows")
endif()

get_filename_component(name "${IN}" NAME)
set(content "// Generated from ${name} by cmake/shutter_ratings.cmake: edit the table, not this file.
// {make, model, rated (0: no mechanical shutter), rated by, quoted by a publication, figure is a floor}
constexpr ShutterRating kShutterRatings[] = {
${rows}};
")
# Written only when it changed, so a build does not recompile for an unchanged table.
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${content}")
