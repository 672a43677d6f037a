# Turns the page template into a C++ string: cmake -DIN=page.html -DOUT=x.inc -P EmbedPage.cmake
# Pieces of at most 8,000 bytes, as some compilers limit one literal.
file(READ "${IN}" page HEX)
string(LENGTH "${page}" length)
set(text "const char kPageTemplate[] =\n")
set(at 0)
while(at LESS length)
    string(SUBSTRING "${page}" ${at} 16000 piece)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" piece "${piece}")
    string(APPEND text "    \"${piece}\"\n")
    math(EXPR at "${at} + 16000")
endwhile()
string(APPEND text "    ;\n")
file(WRITE "${OUT}" "${text}")
