#pragma once

#include <string>

// Recording a printed carnê-leão slip as paid in the taxpayer's data.
namespace kdx2::reports {

// The year tables recording needs (IRM1, IRM2 and IRM16), held for
// exclusive use from open() until the object goes: every way out of a run,
// Esc and errors included, releases them.
class PaymentTables {
  public:
    PaymentTables() = default;
    ~PaymentTables();
    PaymentTables(const PaymentTables&) = delete;
    PaymentTables& operator=(const PaymentTables&) = delete;

    // Opens the three exclusively; false, after telling the user which one
    // is in use and that nothing was printed or recorded, when one of them
    // could not be opened (those opened are closed again).
    bool open();
    void close();
    bool isOpen() const { return open_; }

  private:
    bool open_ = false;
};

// Records `amount` paid for `month` of the taxpayer `cpf`. Individual mode
// (CAL_AUTO false): the taxpayer's item of kind "I" named "Receita Federal"
// in IRM2 (added when missing) gets the amount added to the month's field;
// mode "SO TOTAIS": the taxpayer's IRM16 record of the month gets the
// month's tax due (`due`) as paid, appended when the taxpayer has records
// but none for the month. False, after telling the user, when the payment
// could not be written.
bool recordPayment(const std::string& cpf, int month, double amount, double due, bool soTotais);

}  // namespace kdx2::reports
