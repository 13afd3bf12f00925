#include "SingleInstance.h"

#include "foundation/InstanceClaim.h"

#include <QCoreApplication>
#include <QSocketNotifier>

namespace SingleInstance {

void onActivationRequest(int activationSocket, std::function<void()> bringToFront) {
    if (activationSocket < 0) {
        return;
    }
    auto* notifier =
        new QSocketNotifier(activationSocket, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [activationSocket, bringToFront = std::move(bringToFront)] {
                         if (InstanceClaim::acceptKnock(activationSocket)) {
                             bringToFront();
                         }
                     });
}

} // namespace SingleInstance
