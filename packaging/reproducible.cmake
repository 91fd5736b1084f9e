# Run by CPack after staging, before the archive: sets every staged file and folder to the time
# SOURCE_DATE_EPOCH gives, so two packages of the same build are byte for byte the same.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    return()
endif()
foreach(dir IN LISTS CPACK_TEMPORARY_INSTALL_DIRECTORY CPACK_TEMPORARY_DIRECTORY)
    if(dir AND EXISTS "${dir}")
        execute_process(COMMAND find "${dir}" -exec touch --no-dereference
                                --date=@$ENV{SOURCE_DATE_EPOCH} {} +
                        RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "could not set the file times under ${dir}")
        endif()
    endif()
endforeach()
