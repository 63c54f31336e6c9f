// The table of a text file: a row of column names, then rows of numbers.
#ifndef READERS_TEXT_TABLE_H
#define READERS_TEXT_TABLE_H

#include <string>
#include <vector>

#include "readers/column_name.h"

namespace sts {

// The delimiter that stands for runs of blanks (spaces and tabs).
constexpr char blanks = ' ';

// The fields of a row: split at the delimiter, or at runs of blanks.
std::vector<std::string> row_fields(const std::string& line, char delimiter);

// The column names of a header line split at the delimiter; empty names at
// the end of the line (a trailing delimiter) are dropped.
std::vector<column_name> header_columns(const std::string& line, char delimiter);

// Reads lines[first_row ...] as rows of `width` numbers split at the
// delimiter (or `blanks`) into *table, by column.  Blank lines are skipped;
// empty fields after the last column are ignored; unless the delimiter is a
// comma, a decimal comma reads as a point.  false with *error naming the
// line (counted from 1) when a row has another width or a field is no
// number, or when there is no row at all.
bool read_table(const std::vector<std::string>& lines, size_t first_row, char delimiter,
                size_t width, std::vector<std::vector<double>>* table, std::string* error);

}  // namespace sts

#endif
