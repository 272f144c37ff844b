// The roster as a file a spreadsheet opens: CSV (RFC 4180) in UTF-8 with a
// byte-order mark, a header row, then one row per student in roster order.
// Reading takes UTF-8 with or without the mark, and GBK, which is what a
// spreadsheet on a Chinese Windows saves. No I/O here: bytes in, bytes out.
#pragma once

#include <string>
#include <string_view>

#include "roster/roster.h"

// Where a file that cannot be taken as a roster goes wrong. `field` counts
// from 1; 0 when the problem is the row as a whole.
struct csv_problem {
  int line = 0;
  int field = 0;
  std::string what;
};

struct loaded_roster {
  roster* list = nullptr;  // nullptr when the file was refused
  int count = 0;
  csv_problem problem;
};

constexpr int csv_fields = 7;

// The header row's title of column `field` (GBK), as the file itself names
// it: "科目二" for 5; empty past the last column.
std::string csv_column_title(int field);

// The whole file for `list`.
std::string roster_to_csv(const roster* list);

// The roster a file holds, every record as the entry form would store it,
// its average computed as the entry form computes it; or why not.
loaded_roster roster_from_csv(std::string_view bytes);
