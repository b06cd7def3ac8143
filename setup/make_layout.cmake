# Builds the installed layout: MAIN/PGM (programs, shipped texts, help,
# Helmsman.TXT), MAIN/PGM/units (compiled runtime units) and the example
# problems in work directories MAIN/WKD01, MAIN/WKD02, ...
# Run as: cmake -DSRC=... -DBUILD=... -DBIN=... -DMAIN=... -DFPC_DIR=... -P make_layout.cmake
# Everything that is not there yet is skipped, so the layout fills in as
# the pieces arrive.

cmake_minimum_required(VERSION 3.25)
set(PGM "${MAIN}/PGM")
file(MAKE_DIRECTORY "${PGM}" "${PGM}/units")

# file(COPY) keeps dates and permissions and skips files that are unchanged.
foreach(prog Helmsman Foreparse Sequist Casewright Plotvane Tessary setup)
  if(EXISTS "${BIN}/${prog}")
    file(COPY "${BIN}/${prog}" DESTINATION "${PGM}")
  endif()
endforeach()

# The shipped texts: a generated copy in the build wins over the source.
foreach(text KRVSRC.TXT DSAMPLE.QTL DSAMPLE.SO)
  foreach(dir "${BUILD}/runtime" "${SRC}/runtime")
    if(EXISTS "${dir}/${text}")
      file(COPY "${dir}/${text}" DESTINATION "${PGM}")
      break()
    endif()
  endforeach()
endforeach()
file(COPY "${SRC}/guide/KRVdoc.html" DESTINATION "${PGM}")

file(GLOB units "${BUILD}/runtime/units/*.ppu" "${BUILD}/runtime/units/*.o"
     "${BUILD}/runtime/units/*.lfm")
if(units)
  file(COPY ${units} DESTINATION "${PGM}/units")
endif()

# options.txt lies in the main directory as shipped; Helmsman.TXT is made
# from it for the Free Pascal found at configure time, three CR LF lines.
file(COPY "${SRC}/setup/options.txt" DESTINATION "${MAIN}")
file(READ "${SRC}/setup/options.txt" options)
string(REPLACE "\r" "" options "${options}")
string(REPLACE "\n" ";" lines "${options}")
list(LENGTH lines n)
set(line2 "")
set(line3 "")
if(n GREATER 0)
  list(GET lines 0 line2)
endif()
if(n GREATER 1)
  list(GET lines 1 line3)
endif()
set(config "${FPC_DIR}\r\n${line2}\r\n${line3}\r\n")
set(old "")
if(EXISTS "${PGM}/Helmsman.TXT")
  file(READ "${PGM}/Helmsman.TXT" old)
endif()
if(NOT old STREQUAL config)
  file(WRITE "${PGM}/Helmsman.TXT" "${config}")
endif()

# Each example model gets a work directory of its own; a work directory
# that already holds the model keeps it, with the modeller's edits.
file(GLOB examples "${SRC}/examples/*.QTL" "${SRC}/examples/*.qtl")
list(SORT examples)
# The README walks through TANKS: it gets WKD01, the directory `make run`
# opens; the others follow in name order.
set(walked "${SRC}/examples/TANKS.QTL")
if(walked IN_LIST examples)
  list(REMOVE_ITEM examples "${walked}")
  list(PREPEND examples "${walked}")
endif()
set(i 0)
foreach(model ${examples})
  math(EXPR i "${i} + 1")
  if(i LESS 10)
    set(wkd "${MAIN}/WKD0${i}")
  else()
    set(wkd "${MAIN}/WKD${i}")
  endif()
  get_filename_component(name "${model}" NAME)
  # A layout made before keeps its directories as they are: a model that
  # already has a work directory gets no second one.
  file(GLOB placed "${MAIN}/WKD*/${name}")
  if(NOT placed)
    file(COPY "${model}" DESTINATION "${wkd}")
  endif()
endforeach()
