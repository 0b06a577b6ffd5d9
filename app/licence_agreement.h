// The licence agreement, as the main window's install button sees it: one call that creates
// the agreement window (owned by the application) and returns when that window's modal run is
// over: declined, or the installation it started has completed or been cancelled.
// The program links licence_agreement_win.cpp, which hands over to the installation module;
// the main window's tests link one of their own. Portable: no platform headers.
#pragma once

namespace pq::app {

void RunLicenceAgreement();

}  // namespace pq::app
