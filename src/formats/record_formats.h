// The formats of the record's files, as the recorder is handed them.
#pragma once

#include "record/recorder_settings.h"

// The JSON report, the page, the metrics text and the log's lines.
extern const RecordFormats recordFormats;
