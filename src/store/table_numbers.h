#pragma once

// The number of every table of the program. A table is always opened in the
// work area of its number, so each number below also names that work area.
namespace kdx2::store::tables {

// The year tables of a data folder, IRM1 ... IRM17.
inline constexpr int kSummary = 1;            // IRM1, the taxpayer's yearly summary
inline constexpr int kIncome = 2;             // IRM2, paying sources and monthly entries
inline constexpr int kDependants = 3;         // IRM3
inline constexpr int kAssets = 4;             // IRM4, assets and rights
inline constexpr int kDebts = 5;              // IRM5, debts and charges
inline constexpr int kPayments = 6;           // IRM6, payments made
inline constexpr int kCapitalGains = 7;       // IRM7
inline constexpr int kCapitalGainsItems = 8;  // IRM8, capital-gains auxiliary
inline constexpr int kRegister = 9;           // IRM9, the taxpayer register
inline constexpr int kRural = 10;             // IRM10, rural activity
inline constexpr int kExpenses = 11;          // IRM11
inline constexpr int kRuralAssets = 12;       // IRM12
inline constexpr int kRuralDebts = 13;        // IRM13
inline constexpr int kCashBook = 14;          // IRM14, cash-book entries
inline constexpr int kRuralProperties = 15;   // IRM15
inline constexpr int kMonthlyFigures = 16;    // IRM16
inline constexpr int kBankAccounts = 17;      // IRM17
inline constexpr int kFirstYearTable = kSummary;
inline constexpr int kLastYearTable = kBankAccounts;

// The second copy of a year table (the open taxpayer's scratch copy, or the
// table of a second folder) has the same structure, twenty numbers up.
constexpr int scratch(int yearTable) {
    return yearTable + 20;
}

// The tables of the install folder.
inline constexpr int kDependantCodes = 42;  // CODEPEN
inline constexpr int kOccupations = 44;     // OCUPACAO
inline constexpr int kRates = 45;           // UFIRM, conversion factors and SELIC rates
inline constexpr int kDarfCodes = 46;       // CODARF
inline constexpr int kExpenseCodes = 47;    // DESPESA
inline constexpr int kDarfTaxpayers = 48;   // CPFDARF
inline constexpr int kPrints = 49;          // PRINTS
inline constexpr int kFolderList = 50;      // DIRET + terminal, the registered folders
inline constexpr int kConfig = 52;          // CONFIG, one record per terminal
inline constexpr int kNatures = 53;         // CODNATUR
inline constexpr int kCountries = 54;       // TABPAIS
inline constexpr int kEmbassies = 55;       // TABEMBA
inline constexpr int kColours = 56;         // CORES
inline constexpr int kPrinters = 57;        // ListaIMP
inline constexpr int kAccounts = 58;        // CONTAS, the chart of accounts
inline constexpr int kImportList = 59;      // RELNOME, taxpayers of an import
inline constexpr int kMunicipalities = 60;  // TABMUNI
inline constexpr int kStreetTypes = 61;     // TABLOGR
inline constexpr int kBanks = 69;           // BANCOS

// Not a table: the number that asks the opening procedure for its start-up
// pass (structure check, install-folder tables, folder list).
inline constexpr int kStartUp = 0;

}  // namespace kdx2::store::tables
