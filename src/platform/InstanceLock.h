#pragma once

#include <QObject>
#include <QString>

// Keeps the application to one running copy per user. The first copy holds the lock
// and listens for the others; a later copy finds the lock taken, asks the holder to
// come forward and leaves.
class InstanceLock : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~InstanceLock() override = default;

    // True when this process now holds the lock (or already held it).
    virtual bool tryAcquire() = 0;
    virtual bool isHeld() const = 0;
    // Process id of the copy holding the lock, 0 when unknown.
    virtual qint64 holderPid() const = 0;
    // Asks the holding copy to come forward. False when it could not be reached.
    virtual bool requestActivation() = 0;

    // Removes what the lock this process holds keeps outside its own folder, on the ways
    // out that skip destructors (a termination signal, the end of the session).
    static void releaseForExit();

protected:
    virtual void removeSharedFiles() {}
    // The lock this process holds, for releaseForExit(); null when none.
    static void setHeld(InstanceLock* lock);

signals:
    // Another copy asked this one to come forward (main thread).
    void activationRequested();
};
