#include "sound/SoundCueQueue.h"

#include <QObject>
#include <QTimer>

SoundCueWorkerQueue::SoundCueWorkerQueue(const QString& name) : m_context(new QObject) {
    m_thread.setObjectName(name);
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

SoundCueWorkerQueue::~SoundCueWorkerQueue() {
    shutdown({});
}

void SoundCueWorkerQueue::async(std::function<void()> task) {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    QMetaObject::invokeMethod(m_context, std::move(task), Qt::QueuedConnection);
}

void SoundCueWorkerQueue::asyncAfter(int milliseconds, std::function<void()> task) {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    QObject* context = m_context;
    // The timer has to be made on the queue's own thread.
    QMetaObject::invokeMethod(
        context,
        [context, milliseconds, task = std::move(task)] {
            QTimer::singleShot(milliseconds, Qt::PreciseTimer, context, task);
        },
        Qt::QueuedConnection);
}

void SoundCueWorkerQueue::shutdown(std::function<void()> last) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped) return;
        m_stopped = true;
        QMetaObject::invokeMethod(
            m_context,
            [last = std::move(last)] {
                if (last) last();
                QThread::currentThread()->quit();
            },
            Qt::QueuedConnection);
    }
    m_thread.wait();
}
