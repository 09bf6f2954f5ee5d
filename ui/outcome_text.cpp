#include "ui/outcome_text.h"

#include "reader/byte_text.h"
#include "reader/port_name.h"
#include "reader/protocol.h"

namespace palmota::ui {

namespace {

QString printableText(const std::string& text) {
    return QString::fromLocal8Bit(printable(text));
}

QString byteText(std::uint8_t byte) {
    return QString::fromStdString(palmota::byteText(byte));
}

QString portProblem(const Outcome& o) {
    const QString port = QStringLiteral("Port ") + printableText(o.device) + QStringLiteral(" : ");
    const OpenError& e = o.openError;
    switch (e.kind) {
        case OpenError::Kind::BadName:
            return port +
                   QStringLiteral(
                       "ce n'est pas un nom de port. Choisissez un numéro à partir de 1 (1 à %1 "
                       "pour COM1 à COM%1) ou ")
                       .arg(kNumberedPortCount) +
                   (port_naming::namesArePaths() ? QStringLiteral("le chemin d'un périphérique")
                                                 : QStringLiteral("un nom de port")) +
                   QStringLiteral(", par exemple ") +
                   QString::fromUtf8(port_naming::example().data(),
                                     static_cast<qsizetype>(port_naming::example().size())) +
                   u'.';
        case OpenError::Kind::NoSuchDevice:
            return port + QStringLiteral("aucun port série de ce nom.");
        case OpenError::Kind::PermissionDenied:
            if (e.group.empty())
                return port + QStringLiteral(
                                  "accès refusé. Le périphérique est réservé à son propriétaire.");
            return port +
                   QStringLiteral("accès refusé. L'utilisateur doit être membre du groupe ") +
                   printableText(e.group) + u'.';
        case OpenError::Kind::Busy:
            return port + QStringLiteral("occupé par un autre programme.");
        case OpenError::Kind::NotASerialDevice:
            return port + QStringLiteral("ce n'est pas un port série.");
        case OpenError::Kind::Other:
            break;
    }
    QString text = port + QStringLiteral("ouverture impossible");
    if (!e.reason.empty()) text += QStringLiteral(" (") + printableText(e.reason) + u')';
    return text + u'.';
}

}  // namespace

QString outcomeText(const Outcome& o, QTime at) {
    const QString device = printableText(o.device);
    switch (o.cause) {
        case Cause::Ok:
            return (o.operation == Operation::WriteCredit ? QStringLiteral("Écrit à ")
                                                          : QStringLiteral("Lu à ")) +
                   at.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" sur ") + device;
        case Cause::PortUnavailable:
            return portProblem(o);
        case Cause::NoAnswer:
            return QStringLiteral("Le lecteur ne répond pas sur ") + device + u'.';
        case Cause::NotReady:
            return QStringLiteral("Lecteur pas prêt sur ") + device + QStringLiteral(" (état ") +
                   byteText(o.status) + QStringLiteral(").");
        case Cause::NoBadge:
            return QStringLiteral("Aucun badge sur le lecteur de ") + device + u'.';
        case Cause::ShortReply:
            return QStringLiteral(
                       "Réponse incomplète du lecteur sur %1 : %2 octets sur %3. Tenez le "
                       "badge immobile et recommencez.")
                .arg(device)
                .arg(o.received)
                .arg(o.expected);
        case Cause::WriteRefused:
            return QStringLiteral("Écriture refusée par le lecteur sur ") + device + u'.';
        case Cause::UnexpectedReply:
            return QStringLiteral("Réponse inattendue du lecteur sur ") + device +
                   QStringLiteral(" à l'écriture (octet ") + byteText(o.status) +
                   QStringLiteral(") : le crédit a pu être enregistré. Relisez le badge.");
        case Cause::NotConfirmed:
            return QStringLiteral("Écriture non confirmée sur ") + device +
                   QStringLiteral(" : le crédit a pu être enregistré. Relisez le badge.");
        case Cause::LineLost:
            return QStringLiteral("Liaison perdue avec le lecteur sur ") + device +
                   QStringLiteral(" : a-t-il été débranché ?");
        case Cause::Refused:
            if (o.operation == Operation::WriteCredit)
                return QStringLiteral("Montant refusé : de 0 à %1 seulement. Rien n'a été envoyé.")
                    .arg(protocol::kMaxCredit);
            return QStringLiteral(
                       "Numéro de bloc refusé : de 0 à %1 seulement. Rien n'a été envoyé.")
                .arg(protocol::kHighestBlock);
        case Cause::NoisyLine:
            if (o.operation != Operation::WriteCredit)
                return QStringLiteral(
                    "Ligne perturbée : réponse du lecteur en trop, aucune valeur n'a été "
                    "retenue. Recommencez.");
            if (o.amountSent)
                return QStringLiteral(
                    "Ligne perturbée pendant l'écriture : le crédit a pu être enregistré. "
                    "Relisez le badge.");
            return QStringLiteral("Ligne perturbée : rien n'a été écrit. Recommencez.");
        case Cause::Interrupted:
            return QStringLiteral("Programme arrêté avant l'opération. Rien n'a été envoyé.");
        // The till's causes are no link operation's: verdictText() says them.
        case Cause::ReadBackDiffers:
        case Cause::OverLimit:
        case Cause::BadgeChangedBeforeWrite:
        case Cause::BadgeChanged:
        case Cause::JournalUnavailable:
        case Cause::OutcomeNotRecorded:
        case Cause::CreditAboveJournal:
        case Cause::NoJournal:
        case Cause::Usage:
            break;
    }
    return {};
}

namespace {

// Why the till stopped a write or doubts it, when no link operation failed; a stop asked
// before the write is the link's own "interrupted". Journal check and the command line's
// usage errors never reach the window.
QString tillText(Cause cause) {
    switch (cause) {
        case Cause::ReadBackDiffers:
            return QStringLiteral(
                "Le crédit relu n'est pas celui écrit : il a pu changer. Relisez le badge.");
        case Cause::OverLimit:
            return QStringLiteral("Le crédit dépasserait 65535 : rien n'a été écrit.");
        case Cause::BadgeChangedBeforeWrite:
            return QStringLiteral(
                "Badge changé pendant la lecture : rien n'a été écrit. Reposez le badge et "
                "recommencez.");
        case Cause::BadgeChanged:
            return QStringLiteral(
                "Badge changé pendant l'écriture : le crédit a pu être écrit sur l'un ou "
                "l'autre. Relisez les deux badges.");
        case Cause::JournalUnavailable:
            return QStringLiteral("Journal indisponible : rien n'a été écrit.");
        case Cause::OutcomeNotRecorded:
            return QStringLiteral(
                "Écrit, mais le journal n'a pas pu noter le résultat. Relisez le badge.");
        case Cause::Ok:
        case Cause::PortUnavailable:
        case Cause::NoAnswer:
        case Cause::NotReady:
        case Cause::NoBadge:
        case Cause::ShortReply:
        case Cause::WriteRefused:
        case Cause::UnexpectedReply:
        case Cause::NotConfirmed:
        case Cause::LineLost:
        case Cause::Refused:
        case Cause::NoisyLine:
        case Cause::Interrupted:
        case Cause::CreditAboveJournal:
        case Cause::NoJournal:
        case Cause::Usage:
            break;
    }
    Outcome stopped;
    stopped.operation = Operation::WriteCredit;
    stopped.cause = cause;
    return outcomeText(stopped, {});
}

}  // namespace

QString verdictText(const till::WriteVerdict& verdict, QTime at) {
    QString text;
    if (verdict.judged == Cause::Ok && verdict.write) {
        Outcome written = *verdict.write;
        written.cause = Cause::Ok;
        text = outcomeText(written, at);
        if (verdict.confirmedByReadingBack)
            text += QStringLiteral(" (confirmé en relisant le badge)");
    } else if (verdict.failed) {
        text = outcomeText(*verdict.failed, at);
        // A read after the amount went out that failed: the write may be on the badge.
        if (verdict.amountSent && !verdict.unchanged &&
            verdict.failed->operation != Operation::WriteCredit)
            text += QStringLiteral(" Le crédit a pu être écrit : relisez le badge.");
    } else {
        text = tillText(verdict.judged);
    }
    if (verdict.cause == Cause::OutcomeNotRecorded)
        text += u' ' + tillText(Cause::OutcomeNotRecorded);
    return text;
}

}  // namespace palmota::ui
