#include "formats/record_formats.h"

#include "formats/html_format.h"
#include "formats/log_format.h"
#include "formats/metrics_format.h"
#include "formats/report_format.h"

const RecordFormats recordFormats = {{formatReport, reportCapacity}, {formatHtml, htmlCapacity},
                                     {formatMetrics, metricsCapacity}, appendLogHeader, appendLogLine,
                                     appendWakeLine, logLineCapacity, appendLogContext,
                                     appendPriorityLine, appendStallLine, appendWakeCountLine,
                                     appendResolutionLine};
