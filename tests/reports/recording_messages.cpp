// The message recorder of the common services' tests, shared with these.
#include "common/recording_messages.cpp"
