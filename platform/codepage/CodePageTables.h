#pragma once

// Upper halves (bytes 0x80-0xFF) of the single-byte code pages a dBase
// language driver can name.
namespace codepage_tables {

struct Table {
    const char *name;
    const char16_t *upper; // 128 entries
};

extern const Table kTables[];
extern const int kTableCount;

} // namespace codepage_tables
