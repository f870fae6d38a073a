# Writes the build stamp (branch, commit, build time, source root, dirty flag, recent
# commits, what is new on this branch) as a C++ source. Run at every build with
#   cmake -DROOT=<source tree> -DOUT=<file.cpp> -P BuildStamp.cmake
# The file is rewritten only when something other than the time changed, so an unchanged
# tree rebuilds nothing and the time stays that of the build that changed it. Outside a
# git checkout only the root is written.

function(_git out)
  execute_process(COMMAND git -C "${ROOT}" ${ARGN}
    OUTPUT_VARIABLE _o ERROR_QUIET RESULT_VARIABLE _r OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(_r EQUAL 0)
    set(${out} "${_o}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

function(_lines out text)
  if(text STREQUAL "")
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  string(REPLACE ";" "\\;" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(_keys "MurmeloBuildRoot")
set(_val_MurmeloBuildRoot "${ROOT}")

_git(_inside rev-parse --is-inside-work-tree)
if(_inside STREQUAL "true")
  _git(_branch rev-parse --abbrev-ref HEAD)
  _git(_commit rev-parse --short HEAD)
  _git(_status status --porcelain)
  list(APPEND _keys MurmeloBuildBranch MurmeloBuildCommit MurmeloBuildDirty)
  set(_val_MurmeloBuildBranch "${_branch}")
  set(_val_MurmeloBuildCommit "${_commit}")
  if(_status STREQUAL "")
    set(_val_MurmeloBuildDirty "0")
  else()
    set(_val_MurmeloBuildDirty "1")
  endif()
  _git(_recent log -3 --format=%s)
  _lines(_recent "${_recent}")
  set(_i 0)
  foreach(_l IN LISTS _recent)
    list(APPEND _keys MurmeloBuildRecent${_i})
    set(_val_MurmeloBuildRecent${_i} "${_l}")
    math(EXPR _i "${_i} + 1")
  endforeach()
  # What is new: the commits of this branch that the main line does not have yet.
  if(NOT _branch STREQUAL "main" AND NOT _branch STREQUAL "HEAD" AND NOT _branch STREQUAL "")
    _git(_main rev-parse --verify --quiet main)
    if(NOT _main STREQUAL "")
      _git(_new log -6 --format=%s main..HEAD)
      _lines(_new "${_new}")
      set(_i 0)
      foreach(_l IN LISTS _new)
        list(APPEND _keys MurmeloWhatsNew${_i})
        set(_val_MurmeloWhatsNew${_i} "${_l}")
        math(EXPR _i "${_i} + 1")
      endforeach()
    endif()
  endif()
endif()

set(_body "")
foreach(_k IN LISTS _keys)
  set(_v "${_val_${_k}}")
  string(REPLACE "\\" "\\\\" _v "${_v}")
  string(REPLACE "\"" "\\\"" _v "${_v}")
  string(APPEND _body "    {\"${_k}\", \"${_v}\"},\n")
endforeach()

set(_sig "${OUT}.sig")
if(EXISTS "${OUT}" AND EXISTS "${_sig}")
  file(READ "${_sig}" _old)
  if(_old STREQUAL _body)
    return()
  endif()
endif()

string(TIMESTAMP _time "%Y-%m-%d %H:%M")
file(WRITE "${OUT}.tmp"
"// Generated at build time by cmake/BuildStamp.cmake; do not edit.
#include \"base/BuildStampData.h\"

namespace murmelo::BuildStampData {

const Entry* entries() {
  static const Entry table[] = {
${_body}    {\"MurmeloBuildTime\", \"${_time}\"},
    {nullptr, nullptr},
  };
  return table;
}

}  // namespace murmelo::BuildStampData
")
file(RENAME "${OUT}.tmp" "${OUT}")
file(WRITE "${_sig}" "${_body}")
