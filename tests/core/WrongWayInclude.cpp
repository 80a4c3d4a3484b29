// Compiled only by the layout tests: includes LAYOUT_HEADER from a target that
// links LAYOUT_TARGET alone, to show which includes the targets allow.
#include LAYOUT_HEADER
