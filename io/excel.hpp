// The spreadsheet text "excel.txt": the reflection list as tab-separated columns.
#pragma once

#include <filesystem>
#include <string>

#include "calc/state.hpp"
#include "io/report.hpp"

namespace obrin {

inline constexpr const char* kSpreadsheetFileName = "excel.txt";

// The angle column has inputs.decimals decimals in at least decimals + 4 characters. An error
// only when, in single-crystal mode, a Miller-index limit text does not read.
Result<std::string> spreadsheetText(const CalculationState& state, const ReportInputs& inputs);

// Writes "excel.txt" into the folder; returns the text written, or the warning
// ("Cannot write excel.txt: ...") with the previous file left as it was.
Result<std::string> writeSpreadsheet(const CalculationState& state, const ReportInputs& inputs,
                            const std::filesystem::path& folder);

}  // namespace obrin
