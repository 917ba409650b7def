# Writes a manual page from a program's --help, so the two cannot disagree, followed by the
# hand-written sections of EXTRA (roff), and compresses it as Debian wants it.
# Run as: cmake -DPROGRAM=<exe> -DNAME=<name> -DSUMMARY=<one line> -DVERSION=<x.y.z>
#               -DEXTRA=<file> -DOUTPUT=<page.1.gz> -P MakeManPage.cmake
execute_process(COMMAND ${PROGRAM} --help RESULT_VARIABLE status OUTPUT_VARIABLE help
                ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed: ${errors}")
endif()

# roff: a backslash is written \e; a line may not start with a dot or an apostrophe.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "\n$" "" help "${help}")
string(REGEX MATCH "^[^\n]*" usage "${help}")
string(REGEX REPLACE "^Usage: " "" usage "${usage}")
string(REPLACE "-" "\\-" usage "${usage}")
string(REPLACE "-" "\\-" help "${help}")
string(REPLACE "-" "\\-" name_text "${NAME}")

file(READ ${EXTRA} extra)
string(TOUPPER ${NAME} title)
set(page ".TH ${title} 1 \"\" \"Fotolyx ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${name_text} \\- ${SUMMARY}\n")
string(APPEND page ".SH SYNOPSIS\n.B ${usage}\n")
string(APPEND page ".SH OPTIONS\nAs\n.B ${name_text} \\-\\-help\nprints them:\n.PP\n.nf\n${help}\n.fi\n")
string(APPEND page "${extra}")

get_filename_component(folder ${OUTPUT} DIRECTORY)
string(REGEX REPLACE "\\.gz$" "" plain ${OUTPUT})
file(MAKE_DIRECTORY ${folder})
file(WRITE ${plain} "${page}")
execute_process(COMMAND gzip -9nf ${plain} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${plain} failed")
endif()
