#pragma once

#include <string>

// Texts the printed declaration pages share.
namespace kdx2::reports {

// The month's name (1 ... 12) in CP850, capitalised: "Março".
std::string monthName(int month);

// An amount through a print picture ("@Ez 99,999,999.99").
std::string amountText(double value, const char* picture);

}  // namespace kdx2::reports
