# The line's statistics: every figure of `mv62-records stats` (JSON, CSV, text) and of the
# dashboard page against the same figures computed with Python's statistics module from the
# record files; the page printed by Chromium. And 100,000 generated runs (20,000 under the
# sanitizers): stats and dashboard finish, the page stays small and its charts bounded; the times
# are printed, never judged.
add_test(NAME records_stats
         COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/stats_test.py check $<TARGET_FILE:mv62-records>)
set_tests_properties(records_stats PROPERTIES TIMEOUT 180)
# Under the sanitizers, which make building the index several times slower, a fifth of the runs:
# still far beyond what the charts draw one by one.
add_test(NAME records_stats_scale
         COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/stats_test.py scale $<TARGET_FILE:mv62-records>
                 $<IF:$<BOOL:${MV62_SANITIZE}>,20000,100000>)
set_tests_properties(records_stats_scale PROPERTIES TIMEOUT 300)
