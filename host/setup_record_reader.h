// Reads the setup record of a cabinet (its ".000" member) back into a SetupRecord, checking
// that every offset, count and length lies within the record and every reference resolves.
#ifndef DURVO_HOST_SETUP_RECORD_READER_H
#define DURVO_HOST_SETUP_RECORD_READER_H

#include <setup_record.h>

#include <cstdint>
#include <span>
#include <string>

namespace host {

// False, with *error naming the defect, for a record that cannot be carried out as written.
bool readSetupRecord(std::span<const uint8_t> bytes, package::SetupRecord *record, std::string *error);

}  // namespace host

#endif
