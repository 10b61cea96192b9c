#pragma once

// The slip form on the screen, for the computations that show what they
// changed. Internal to the slip.
namespace kdx2::reports {

// Whether the form is on the screen now.
bool slipFormShown();
// Writes every value of the slip into the form.
void showSlipOnForm();
// Writes the principal, the rates and the amounts.
void showChargesOnForm();

}  // namespace kdx2::reports
