# Fails where FILE is larger than BUDGET bytes (NAME says which file).
# Usage: cmake -DFILE=... -DBUDGET=... -DNAME=... -P size_budget.cmake
file(SIZE "${FILE}" size)
if(size GREATER BUDGET)
  message(FATAL_ERROR "${NAME}: ${size} bytes, over the budget of ${BUDGET}")
endif()
message(STATUS "${NAME}: ${size} bytes, within the budget of ${BUDGET}")
