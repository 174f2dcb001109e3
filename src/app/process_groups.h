// Running every group: estimate, log section, results back to the records.
#ifndef PROPSMOOTH_APP_PROCESS_GROUPS_H_
#define PROPSMOOTH_APP_PROCESS_GROUPS_H_

#include "common/types.h"
#include "common/output_file.h"

namespace propsmooth {

/// Estimates every group of `table` (one group of all records when the first
/// record's Unit is -1, else one per Unit in ascending order), appends each
/// group's section to `log` in that order and sets every record's three
/// results. Groups may be estimated in parallel; the log and the results
/// are those of running them one after another. False when writing the log
/// failed; the remaining sections are then not written.
bool ProcessGroups(const RunSettings& settings, RecordTable* table,
                   OutputFile* log);

}  // namespace propsmooth

#endif  // PROPSMOOTH_APP_PROCESS_GROUPS_H_
