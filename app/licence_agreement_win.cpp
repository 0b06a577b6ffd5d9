#include "app/licence_agreement.h"
#include "install/UContratoLicensa_win.h"

namespace pq::app {

void RunLicenceAgreement() {
    install::RunLicenceAgreement();
}

}  // namespace pq::app
