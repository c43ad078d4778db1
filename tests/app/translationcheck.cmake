# Runs lupdate on a copy of each .ts file and fails when the sources hold a
# text the copy then lacks a translation for, or the copy holds one the
# sources no longer have.
file(MAKE_DIRECTORY ${WORK_DIR})
foreach(ts IN LISTS TS_FILES)
  get_filename_component(name ${ts} NAME)
  set(copy ${WORK_DIR}/${name})
  file(COPY_FILE ${ts} ${copy})
  execute_process(COMMAND ${LUPDATE} -locations none -I ${INCLUDE_DIR} ${SOURCES} -ts ${copy}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}:\n${output}")
  endif()
  file(STRINGS ${copy} stale REGEX "type=\"(unfinished|vanished|obsolete)\"")
  if(stale)
    file(STRINGS ${copy} lines)
    set(texts "")
    set(previous "")
    foreach(line IN LISTS lines)
      if(line MATCHES "type=\"(unfinished|vanished|obsolete)\"")
        string(APPEND texts "  ${previous}\n")
      endif()
      set(previous "${line}")
    endforeach()
    message(FATAL_ERROR "${name} is not up to date with the sources (cmake --build BUILD "
                        "--target update_translations, then translate):\n${texts}")
  endif()
endforeach()
