#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace dawdlex {

// Keeps one running program per settings store: two programs on one store would each save over the
// other's edits at their end. The first start holds a lock file and listens on a local socket beside it;
// a later start finds the lock taken, tells the first over the socket to come to the front, and leaves.
// Both live in the user's runtime folder, named after the store, so that another store (as tests use)
// is another instance.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // `store` names what the lock guards: the path of the settings store.
    explicit SingleInstance(const QString& store, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Role
    {
        First,   // this process runs the program; later starts raise activationRequested
        Another, // another process runs it and has been asked to come to the front
    };

    // Claims the store, or hands over to the process that has it. A lock whose owner died is taken over.
    Role claim();

signals:
    // A later start asked this program to show itself.
    void activationRequested();

private:
    void listen();
    bool askFirstToActivate() const;

    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace dawdlex
