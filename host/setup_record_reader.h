// Reads the setup record of a cabinet (its ".000" member) back into a SetupRecord, checking
// that every offset, count and length lies within the record and every reference resolves. The
// device's installer and the application manager's stand-in both read it here.
#ifndef DURVO_HOST_SETUP_RECORD_READER_H
#define DURVO_HOST_SETUP_RECORD_READER_H

#include "cabinet_reader.h"

#include <setup_record.h>

#include <cstdint>
#include <span>
#include <string>

namespace host {

// False, with *error naming the defect, for a record that cannot be carried out as written.
bool readSetupRecord(std::span<const uint8_t> bytes, package::SetupRecord *record, std::string *error);

// The setup record of an opened cabinet: its one member whose name ends in ".000", extracted
// and read. False, with *error naming the defect, when there is none, more than one, or it
// cannot be carried out.
bool readCabinetSetupRecord(CabinetReader &reader, package::SetupRecord *record, std::string *error);

}   // namespace host

#endif
