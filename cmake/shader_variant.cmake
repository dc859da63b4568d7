# Writes OUT: a "#define NAME" line for each name of DEFINES (separated by
# commas), then the text of IN. For shader text without a #version line,
# which the loader compiles as GLSL ES 1.00.
file(READ "${IN}" text)
string(REPLACE "," ";" names "${DEFINES}")
set(head "")
foreach(name ${names})
  string(APPEND head "#define ${name}\n")
endforeach()
file(WRITE "${OUT}" "${head}${text}")
