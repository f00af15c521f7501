#include "ui/qt_job_delivery.h"

#include <QMetaObject>

#include <utility>

namespace ui {

playback::JobRunner::Deliver QtJobDelivery(QObject& receiver)
{
    QObject* target = &receiver;
    return [target](playback::JobRunner::Call call) {
        QMetaObject::invokeMethod(target, std::move(call), Qt::QueuedConnection);
    };
}

}  // namespace ui
