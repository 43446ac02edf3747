// A file of a room that includes what its library does not link
// (PROBE_INCLUDE, from tests/CMakeLists.txt): it must not compile.
#include PROBE_INCLUDE
