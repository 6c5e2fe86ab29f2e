// The parts of the output files that both platforms share.
#include <cstring>

#include "record/output_file.h"
#include "record/text_buffer.h"

void describeFailure(char* error, const char* verb, const char* path, const char* reason) {
    joinText(error, messageCapacity, {"cannot ", verb, " '", path, "': ", reason});
}

bool samePathOrTemporary(const char* a, const char* b) {
    const std::size_t lengthA = std::strlen(a);
    const std::size_t lengthB = std::strlen(b);
    if (lengthA == lengthB) return std::strcmp(a, b) == 0;
    const char* shorter = lengthA < lengthB ? a : b;
    const char* longer = lengthA < lengthB ? b : a;
    const std::size_t length = lengthA < lengthB ? lengthA : lengthB;
    return std::strncmp(shorter, longer, length) == 0 && std::strcmp(longer + length, ".tmp") == 0;
}
