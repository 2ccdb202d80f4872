# Writes a man page from a tool's --help text, so the page and the help
# never disagree. Arguments: TOOL (the built program), NAME, SUMMARY,
# VERSION, SEE_ALSO, OUT.
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} --help failed")
endif()
string(TOUPPER "${NAME}" upper)

# roff: backslashes and hyphens escaped, lines that start with a dot or
# an apostrophe protected.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")

# The first line is the synopsis, the rest the description.
string(FIND "${help}" "\n" eol)
string(SUBSTRING "${help}" 0 ${eol} synopsis)
string(SUBSTRING "${help}" ${eol} -1 body)
string(REGEX REPLACE "^usage: " "" synopsis "${synopsis}")
string(REGEX REPLACE "^\n+" "" body "${body}")

file(WRITE ${OUT}
".TH ${upper} 1 \"\" \"QVX ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH SYNOPSIS
.nf
${synopsis}
.fi
.SH DESCRIPTION
.nf
${body}.fi
.SH SEE ALSO
${SEE_ALSO}
")
