#include "Keyring.h"

#include <qt6keychain/keychain.h>
#include <QEventLoop>
#include <QTimer>

namespace platform::sip {
namespace {

constexpr const char* kService = "vastrel";

}  // namespace

void Keyring::Read(const QString& key, QObject* context, Found found) {
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [found = std::move(found)](QKeychain::Job* j) {
                         const auto* read = static_cast<QKeychain::ReadPasswordJob*>(j);
                         if (read->error() == QKeychain::NoError)
                             found(read->textData().toStdString());
                         else
                             found(std::nullopt);
                     });
    job->start();
}

bool Keyring::Write(const QString& key, const std::string& secret, QString* error) {
    QKeychain::WritePasswordJob job(kService);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(key);
    job.setTextData(QString::fromStdString(secret));
    QEventLoop loop;
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    job.start();
    if (!done) loop.exec();
    if (!done) {
        *error = "the keyring did not answer";
        return false;
    }
    if (job.error() != QKeychain::NoError) {
        *error = job.errorString();
        return false;
    }
    return true;
}

}  // namespace platform::sip
