// The order in which the browser shows folders: Explorer's, not the bytes'.
// Letter case and accents count for nothing at first (`É` goes with `E`,
// `Æ` with `AE`), and a run of digits counts by its value (`Lesson 2`
// before `Lesson 10`); punctuation and spaces come before numbers, numbers
// before letters. Names that this leaves equal (`Algebra`, `algebra`,
// `Lesson 02`, `Lesson 2`) go by their code units, so the order is total
// and the same on every run.
//
// For the browser's display only: the listings that the copy walk reads
// keep their own order.
#pragma once

#include <string>

namespace posix {

bool ShownBefore(const std::wstring& left, const std::wstring& right);

}  // namespace posix
