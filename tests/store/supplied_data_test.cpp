// The contents of the supplied tables: the chart of accounts against the
// entry kinds and transfer destinations it serves, the help topics, the code
// lists, and the reading of the source files.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "store/supplied.h"
#include "store/supplied_sources.h"

namespace kdx2 {
namespace {

using namespace base::literals;
using store::SuppliedTable;
using store::supplied::CsvFile;

struct Account {
    int code;
    std::string description, status, temCpf, temCgc, livroCx, temDescr, kind;
    int page, line;
};

std::vector<Account> chart() {
    const SuppliedTable table = store::suppliedTable("CONTAS");
    std::vector<Account> accounts;
    for (const auto& row : table.rows) {
        accounts.push_back({std::stoi(row[0].text()), base::rtrim(row[1].text()), row[2].text(),
                            row[5].text(), row[6].text(), row[7].text(), row[8].text(),
                            row[10].text(), static_cast<int>(row[3].number()),
                            static_cast<int>(row[4].number())});
    }
    return accounts;
}

std::set<int> paymentCodes() {
    std::set<int> codes;
    for (const auto& row : store::suppliedTable("DESPESA").rows)
        codes.insert(static_cast<int>(row[0].number()));
    return codes;
}

TEST(SuppliedChart, EveryDetailAccountSitsUnderATitleOfItsRange) {
    const std::vector<Account> accounts = chart();
    ASSERT_GT(accounts.size(), 50u);
    const Account* title = nullptr;
    for (const Account& a : accounts) {
        if (a.status == "N") {
            title = &a;
            EXPECT_EQ(a.page, 0) << a.code;  // a title takes no entries
            EXPECT_EQ(a.description, base::asciiUpper(a.description)) << a.code;
            continue;
        }
        ASSERT_EQ(a.status, "S") << a.code;
        ASSERT_NE(title, nullptr) << a.code;
        EXPECT_EQ(title->code / 1000, a.code / 1000) << a.code << " under " << title->code;
    }
    for (int wanted : {1001, 1002, 1004, 4001, 4099, 4101, 4199, 8001, 9001}) {
        EXPECT_TRUE(std::any_of(accounts.begin(), accounts.end(), [&](const Account& a) {
            return a.code == wanted;
        })) << wanted;
    }
}

// The program itself posts entries to these accounts: the carnê-leão import
// (1001, 1002, 1004), the conversion of company income (2100) and the payment
// slip recording carnê-leão paid (4201).
TEST(SuppliedChart, AccountsTheProgramPostsToAreDetailAccountsOfTheRightDestination) {
    const std::map<int, std::pair<int, int>> posted = {
        {1001, {2, 1}}, {1002, {2, 1}}, {1004, {2, 1}}, {2100, {1, 1}}, {4201, {2, 5}}};
    const std::vector<Account> accounts = chart();
    for (const auto& [code, destination] : posted) {
        auto it = std::find_if(accounts.begin(), accounts.end(),
                               [&](const Account& a) { return a.code == code; });
        ASSERT_NE(it, accounts.end()) << code;
        EXPECT_EQ(it->status, "S") << code;
        EXPECT_EQ(std::pair(it->page, it->line), destination) << code;
    }
}

// Each range is offered for one kind of entry; the account's destination and
// flags must send the entry where that kind belongs and ask for what it needs.
TEST(SuppliedChart, FlagsAndDestinationsFitTheEntryKindOfEachRange) {
    const std::set<int> payments = paymentCodes();
    for (const Account& a : chart()) {
        if (a.status == "N") continue;
        SCOPED_TRACE(a.code);
        const int c = a.code;
        if (c < 2000) {  // income from individuals: dated, monthly tax
            EXPECT_EQ(std::tie(a.page, a.line, a.kind, a.livroCx), std::tuple(2, 1, "C", "S"));
        } else if (c < 2400) {  // companies: monthly lines of the paying source
            EXPECT_EQ(a.page, 1);
            EXPECT_TRUE(a.line >= 1 && a.line <= 4);
            EXPECT_EQ(a.livroCx, "N");
            EXPECT_EQ(a.temCgc, "S");
            // Both numbers make the transfer post a dependant's income.
            EXPECT_EQ(a.temCpf, c < 2300 ? "N" : "S");
            if (a.line == 1) {
                EXPECT_EQ(a.temDescr, "S");  // names the paying source
            }
        } else if (c >= 3000 && c < 4000) {  // abroad
            EXPECT_EQ(std::tie(a.page, a.line, a.kind, a.livroCx), std::tuple(2, 2, "C", "S"));
        } else if (c > 4000 && c < 4100) {  // deductible cash-book expense
            EXPECT_EQ(std::tie(a.page, a.line, a.kind, a.livroCx), std::tuple(2, 3, "D", "S"));
        } else if (c > 4100 && c < 4200) {  // other expense
            EXPECT_EQ(a.page, 2);
            EXPECT_GT(a.line, 5);
            EXPECT_EQ(std::tie(a.kind, a.livroCx), std::tuple("N", "S"));
        } else if (c > 4200 && c < 4300) {  // INSS and carnê-leão paid, by month
            EXPECT_EQ(a.page, 2);
            EXPECT_TRUE(a.line == 4 || a.line == 5);
            EXPECT_EQ(a.livroCx, "N");
        } else if (c >= 5000 && c < 6000) {  // payments made, by payment code
            EXPECT_EQ(a.page, 6);
            EXPECT_EQ(a.livroCx, "N");
            EXPECT_EQ(a.temDescr, "S");  // the beneficiary's name
            const int code = a.line <= 36 ? a.line : a.line - 30;
            EXPECT_TRUE(payments.count(code)) << "payment code " << code;
            EXPECT_EQ(c % 100, a.line);
        } else if (c >= 8000 && c < 9000) {
            EXPECT_EQ(std::tie(a.page, a.line, a.kind, a.livroCx), std::tuple(10, 1, "C", "S"));
        } else if (c >= 9000) {
            EXPECT_EQ(std::tie(a.page, a.line, a.kind, a.livroCx), std::tuple(10, 2, "D", "S"));
        } else {
            ADD_FAILURE() << "account outside every range";
        }
    }
}

TEST(SuppliedHelp, GeneralFunctionsAndEveryDeclarationPageHaveText) {
    const SuppliedTable help = store::suppliedTable("HELPTXT");
    std::map<std::string, std::vector<std::string>> topics;
    for (const auto& row : help.rows) {
        EXPECT_LE(row[0].text().size(), 10u);  // the lookup pads the topic to 10
        EXPECT_LE(row[2].text().size(), 52u);  // the help window's width
        topics[base::rtrim(row[0].text())].push_back(base::rtrim(row[2].text()));
    }
    std::vector<std::string> wanted = {"GERAL", "FUNCOES", "CPF", "CDCONTA", "MUNICIPIO", "I6_3"};
    for (int page = 1; page <= 13; ++page)
        wanted.push_back("TELA" + std::string(page < 10 ? "0" : "") + std::to_string(page));
    for (const std::string& topic : wanted) {
        ASSERT_TRUE(topics.count(topic)) << topic;
        EXPECT_FALSE(topics[topic].front().empty()) << topic;
    }
    // Portuguese, in CP850.
    EXPECT_EQ(topics["GERAL"][0].substr(0, 31), "O kdx2 guarda as declarações de"_cp);
}

TEST(SuppliedCodes, ListsKeepTheirCodesConfidenceAndYears) {
    const SuppliedTable relations = store::suppliedTable("CODEPEN");
    std::map<int, std::string> confirmed;
    for (const auto& row : relations.rows)
        confirmed[static_cast<int>(row[0].number())] = row[2].text();
    EXPECT_EQ(confirmed[21], "S");
    EXPECT_EQ(confirmed[41], "N");
    EXPECT_EQ(confirmed[99], "S");  // the program's own alimony code

    const SuppliedTable countries = store::suppliedTable("TABPAIS");
    std::set<std::string> codes;
    for (const auto& row : countries.rows) {
        EXPECT_EQ(row[0].text().size(), 3u);
        codes.insert(row[0].text());
    }
    EXPECT_TRUE(codes.count("249"));  // Estados Unidos
    EXPECT_TRUE(codes.count("150"));  // Guernsey keeps the code it shares with Jersey

    // Street types fit the 11 columns of the address.
    for (const auto& row : store::suppliedTable("TABLOGR").rows)
        EXPECT_LE(base::rtrim(row[0].text()).size(), 11u);
    // Municipality names are cut to the 24 columns of the register, never longer.
    for (const auto& row : store::suppliedTable("TABMUNI").rows)
        EXPECT_LE(base::rtrim(row[0].text()).size(), 24u);
}

TEST(SuppliedSources, CsvReadingFollowsTheQuotingRules) {
    const CsvFile csv = CsvFile::parse(
        "\xEF\xBB\xBF"
        "codigo,descricao\r\n01,\"Filho(a), enteado(a)\"\r\n\r\n02,\"dito \"\"assim\"\"\"\n03,"
        "\"duas\nlinhas\"",
        "teste.csv");
    ASSERT_EQ(csv.size(), 3u);
    EXPECT_EQ(csv.header()[0], "codigo");
    EXPECT_EQ(csv.cell(0, "descricao"), "Filho(a), enteado(a)");
    EXPECT_EQ(csv.cell(1, "descricao"), "dito \"assim\"");
    EXPECT_EQ(csv.cell(2, "descricao"), "duas\nlinhas");
    EXPECT_THROW(csv.cell(0, "nome"), base::Error);
    EXPECT_THROW(CsvFile::parse("a,b\n1,2,3\n", "x.csv"), base::Error);
    EXPECT_THROW(CsvFile::parse("a,b\n1,\"2\n", "x.csv"), base::Error);

    EXPECT_EQ(store::supplied::toTableText("IRPF – Carnê-Leão"), "IRPF - Carnê-Leão"_cp);
    EXPECT_EQ(store::supplied::foldedUpper("São João d'Aliança"), "SAO JOAO D'ALIANCA");
    EXPECT_EQ(store::supplied::wrapText("um dois tres", 7),
              (std::vector<std::string>{"um dois", "tres"}));
}

TEST(SuppliedSources, TheProgramCarriesTheLicenceNoticesOfItsData) {
    const std::vector<std::string> licence = store::suppliedDataLicence();
    for (const char* line :
         {"Copyright (c) 2016 Kelvin S. do Prado", "Copyright (c) 2016 Chinnon Santos",
          "The above copyright notice and this permission notice shall be "
          "included in all"}) {
        EXPECT_NE(std::find(licence.begin(), licence.end(), line), licence.end()) << line;
    }
    EXPECT_EQ(store::suppliedDataNotices().size(), 2u);
}

}  // namespace
}  // namespace kdx2
