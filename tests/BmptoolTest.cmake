# bmptool end to end: one command per case, on files the tool generates itself,
# checked through `bmptool info` and the bytes of the files written.
#   cmake -DBMPTOOL=... -DWORK_DIR=... -DCASE=info|rescale|depth|paste|dpi|help -P BmptoolTest.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Runs bmptool in WORK_DIR and fails unless it exits with `expected`; leaves
# its standard output and error in OUT and ERR.
function(run_bmptool expected)
  execute_process(COMMAND ${BMPTOOL} ${ARGN} WORKING_DIRECTORY ${WORK_DIR}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code STREQUAL "${expected}")
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "bmptool ${shown}: exit ${code}, expected ${expected}\n${out}${err}")
  endif()
  set(OUT "${out}" PARENT_SCOPE)
  set(ERR "${err}" PARENT_SCOPE)
endfunction()

function(expect_in text where)
  string(FIND "${where}" "${text}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "expected \"${text}\" in:\n${where}")
  endif()
endfunction()

# A usage error: exit 2 and a message naming the problem.
function(expect_usage_error text)
  run_bmptool(2 ${ARGN})
  expect_in("${text}" "${ERR}")
endfunction()

# A file that cannot be used: exit 1 and a message naming the problem.
function(expect_file_error text)
  run_bmptool(1 ${ARGN})
  expect_in("${text}" "${ERR}")
endfunction()

function(info_field file field result)
  run_bmptool(0 info ${file})
  if(NOT OUT MATCHES "(^|\n)${field}: ([^\n]*)")
    message(FATAL_ERROR "no ${field} in bmptool info ${file}:\n${OUT}")
  endif()
  set(${result} "${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()

function(expect_info file field expected)
  info_field(${file} ${field} actual)
  if(NOT actual STREQUAL "${expected}")
    message(FATAL_ERROR "${file}: ${field} is ${actual}, expected ${expected}")
  endif()
endfunction()

# Blue, green and red of pixel (x, y) of a 24-bit file, as six hex digits.
function(pixel24 file x y result)
  info_field(${file} biWidth width)
  info_field(${file} biHeight height)
  info_field(${file} bfOffBits offset)
  math(EXPR row "((24 * ${width} + 31) / 32) * 4")
  math(EXPR at "${offset} + (${height} - 1 - ${y}) * ${row} + 3 * ${x}")
  file(READ ${WORK_DIR}/${file} bytes OFFSET ${at} LIMIT 3 HEX)
  set(${result} "${bytes}" PARENT_SCOPE)
endfunction()

function(expect_same_pixel file x y other other_x other_y)
  pixel24(${file} ${x} ${y} actual)
  pixel24(${other} ${other_x} ${other_y} expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${file} (${x},${y}) is ${actual}, expected ${expected} "
                        "from ${other} (${other_x},${other_y})")
  endif()
endfunction()

file(WRITE ${WORK_DIR}/notes.txt "not a bitmap, but long enough to hold both BMP headers\n")
run_bmptool(0 testcard card.bmp --size 40x30)

if(CASE STREQUAL "info")
  run_bmptool(0 info card.bmp)
  foreach(line "bfType: 0x4D42" "bfSize: 3654" "bfOffBits: 54" "biSize: 40" "biWidth: 40"
               "biHeight: 30" "biPlanes: 1" "biBitCount: 24" "biCompression: 0"
               "biXPelsPerMeter: 3780" "colorDepth: 24")
    expect_in("${line}\n" "${OUT}")
  endforeach()
  expect_file_error("cannot open missing.bmp" info missing.bmp)
  expect_file_error("notes.txt is not a BMP file" info notes.txt)
  expect_usage_error("missing FILE" info)

elseif(CASE STREQUAL "rescale")
  run_bmptool(0 rescale card.bmp half.bmp --mode w --size 20)
  expect_info(half.bmp biWidth 20)
  expect_info(half.bmp biHeight 15)
  # Whatever the input depth, the result is written at 24 bits.
  run_bmptool(0 testcard card8.bmp --bits 8 --size 40x30)
  run_bmptool(0 rescale card8.bmp double.bmp --mode P --size 200)
  expect_info(double.bmp biWidth 80)
  expect_info(double.bmp biHeight 60)
  expect_info(double.bmp biBitCount 24)
  # The corners are the old corners.
  expect_same_pixel(half.bmp 19 14 card.bmp 39 29)
  expect_same_pixel(half.bmp 0 0 card.bmp 0 0)
  expect_usage_error("--mode must be P, W, H or F" rescale card.bmp x.bmp --mode Q --size 5)
  expect_usage_error("--size wants N" rescale card.bmp x.bmp --mode W --size 12x)
  expect_usage_error("--size wants N" rescale card.bmp x.bmp --mode W --size 0)
  expect_usage_error("missing --size" rescale card.bmp x.bmp --mode W)
  expect_usage_error("missing OUT" rescale card.bmp --mode W --size 5)
  expect_usage_error("unknown option --colour" rescale card.bmp x.bmp --mode W --size 5 --colour)
  expect_file_error("cannot open missing.bmp" rescale missing.bmp x.bmp --mode W --size 5)
  expect_file_error("notes.txt is not a BMP file" rescale notes.txt x.bmp --mode W --size 5)
  expect_file_error("cannot rescale" rescale card.bmp x.bmp --mode W --size 2000000000)
  if(EXISTS ${WORK_DIR}/x.bmp)
    message(FATAL_ERROR "a refused command wrote its output")
  endif()

elseif(CASE STREQUAL "depth")
  run_bmptool(0 depth card.bmp grey.bmp --bits 8 --gray)
  expect_info(grey.bmp biBitCount 8)
  expect_info(grey.bmp bfOffBits 1078)
  # The grey palette: entry i is blue, green and red i, reserved 0.
  file(READ ${WORK_DIR}/grey.bmp entries OFFSET 54 LIMIT 8 HEX)
  file(READ ${WORK_DIR}/grey.bmp last OFFSET 1074 LIMIT 4 HEX)
  if(NOT entries STREQUAL "0000000001010100" OR NOT last STREQUAL "ffffff00")
    message(FATAL_ERROR "grey palette starts ${entries} and ends ${last}")
  endif()
  run_bmptool(0 depth card.bmp mono.bmp --bits 1)
  expect_info(mono.bmp biBitCount 1)
  run_bmptool(0 depth mono.bmp back.bmp --bits 32)
  expect_info(back.bmp biBitCount 32)
  expect_usage_error("--bits must be 1, 4, 8, 16, 24 or 32" depth card.bmp x.bmp --bits 3)
  expect_usage_error("--bits wants BITS" depth card.bmp x.bmp --bits eight)
  expect_usage_error("--gray needs --bits 1, 4 or 8" depth card.bmp x.bmp --bits 24 --gray)
  expect_usage_error("missing --bits" depth card.bmp x.bmp)
  expect_file_error("cannot open missing.bmp" depth missing.bmp x.bmp --bits 8)

elseif(CASE STREQUAL "paste")
  run_bmptool(0 testcard dst.bmp --size 20x20)
  run_bmptool(0 paste card.bmp dst.bmp out.bmp --rect 0,9,0,9 --at 5,5)
  expect_info(out.bmp biWidth 20)
  expect_same_pixel(out.bmp 5 5 card.bmp 0 0)
  expect_same_pixel(out.bmp 14 14 card.bmp 9 9)
  expect_same_pixel(out.bmp 4 4 dst.bmp 4 4)
  expect_same_pixel(out.bmp 15 15 dst.bmp 15 15)
  # Clipped at the target's edge: the rectangle's last column lands on 19.
  run_bmptool(0 paste card.bmp dst.bmp edge.bmp --rect 0,39,3,3 --at 15,0)
  expect_same_pixel(edge.bmp 19 0 card.bmp 4 3)
  # The transparent colour (given as red, green, blue) is not copied.
  pixel24(card.bmp 0 0 corner)
  string(SUBSTRING "${corner}" 0 2 blue)
  string(SUBSTRING "${corner}" 2 2 green)
  string(SUBSTRING "${corner}" 4 2 red)
  math(EXPR blue "0x${blue}")
  math(EXPR green "0x${green}")
  math(EXPR red "0x${red}")
  run_bmptool(0 paste card.bmp dst.bmp keyed.bmp --rect 0,9,0,9 --at 5,5
              --transparent ${red},${green},${blue})
  expect_same_pixel(keyed.bmp 5 5 dst.bmp 5 5)
  expect_same_pixel(keyed.bmp 14 14 card.bmp 9 9)
  expect_usage_error("--rect wants LEFT,RIGHT,TOP,BOTTOM" paste card.bmp dst.bmp x.bmp
                     --rect 1,2,3 --at 0,0)
  expect_usage_error("--at wants X,Y" paste card.bmp dst.bmp x.bmp --rect 0,1,0,1 --at x,1)
  expect_usage_error("--transparent wants R,G,B" paste card.bmp dst.bmp x.bmp --rect 0,1,0,1
                     --at 0,0 --transparent 1,2,300)
  expect_usage_error("missing --at" paste card.bmp dst.bmp x.bmp --rect 0,1,0,1)
  expect_file_error("cannot open missing.bmp" paste card.bmp missing.bmp x.bmp --rect 0,1,0,1
                    --at 0,0)

elseif(CASE STREQUAL "dpi")
  run_bmptool(0 dpi card.bmp print.bmp --dpi 300,72)
  expect_info(print.bmp biXPelsPerMeter 11811)
  expect_info(print.bmp biYPelsPerMeter 2834)
  run_bmptool(0 dpi print.bmp unset.bmp --dpi 0,0)
  expect_info(unset.bmp biXPelsPerMeter 3780)  # unset is written as the default
  expect_usage_error("--dpi wants X,Y" dpi card.bmp x.bmp --dpi 300)
  expect_usage_error("--dpi wants X,Y" dpi card.bmp x.bmp --dpi -1,72)
  expect_usage_error("--dpi needs a value" dpi card.bmp x.bmp --dpi)
  expect_file_error("notes.txt is not a BMP file" dpi notes.txt x.bmp --dpi 96,96)

elseif(CASE STREQUAL "help")
  foreach(command testcard info rescale depth paste dpi)
    run_bmptool(0 ${command} --help)
    expect_in("Usage: bmptool ${command}" "${OUT}")
    run_bmptool(0 --help)
    expect_in("  ${command} " "${OUT}")
  endforeach()
  expect_usage_error("Usage: bmptool COMMAND")
  expect_usage_error("unknown command frobnicate" frobnicate)

else()
  message(FATAL_ERROR "unknown CASE '${CASE}'")
endif()
