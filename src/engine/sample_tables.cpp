#include "engine/sample_tables.h"

#include <cstring>

SampleTables sampleTables;

void createSampleTables() {
    std::memset(&sampleTables, 0, sizeof sampleTables);
}
