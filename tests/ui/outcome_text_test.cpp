#include "ui/outcome_text.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/support/system_names.h"

namespace palmota::ui {
namespace {

// An outcome as the link reports it, on /dev/ttyUSB0 unless `set` says otherwise.
Outcome outcome(Operation operation, Cause cause, void (*set)(Outcome&) = nullptr) {
    Outcome o;
    o.operation = operation;
    o.cause = cause;
    o.device = "/dev/ttyUSB0";
    if (set) set(o);
    return o;
}

Outcome portRefused(OpenError::Kind kind, const std::string& group = {},
                    const std::string& reason = {}) {
    Outcome o = outcome(Operation::ReadSerialNumber, Cause::PortUnavailable);
    o.device = "/dev/ttyS0";
    o.openError = {kind, reason, group};
    return o;
}

struct Row {
    const char* name;
    Outcome outcome;
    const char* text;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class OutcomeText : public ::testing::TestWithParam<Row> {};

TEST_P(OutcomeText, TellsTheOperatorWhatHappenedInFrench) {
    Outcome o = GetParam().outcome;
    o.device = palmota::testing::onThisSystem(o.device);
    EXPECT_EQ(outcomeText(o, QTime(14, 32, 5)).toStdString(),
              palmota::testing::onThisSystem(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    EveryCause, OutcomeText,
    ::testing::Values(
        Row{"ReadAt", outcome(Operation::ReadCredit, Cause::Ok), "Lu à 14:32:05 sur /dev/ttyUSB0"},
        Row{"SerialReadAt", outcome(Operation::ReadSerialNumber, Cause::Ok),
            "Lu à 14:32:05 sur /dev/ttyUSB0"},
        Row{"WrittenAt", outcome(Operation::WriteCredit, Cause::Ok),
            "Écrit à 14:32:05 sur /dev/ttyUSB0"},
        Row{"NoSuchPort", portRefused(OpenError::Kind::NoSuchDevice),
            "Port /dev/ttyS0 : aucun port série de ce nom."},
        Row{"PermissionWithGroup", portRefused(OpenError::Kind::PermissionDenied, "dialout"),
            "Port /dev/ttyS0 : accès refusé. L'utilisateur doit être membre du groupe dialout."},
        Row{"PermissionPrivate", portRefused(OpenError::Kind::PermissionDenied),
            "Port /dev/ttyS0 : accès refusé. Le périphérique est réservé à son propriétaire."},
        Row{"Busy", portRefused(OpenError::Kind::Busy),
            "Port /dev/ttyS0 : occupé par un autre programme."},
        Row{"NotSerial", portRefused(OpenError::Kind::NotASerialDevice),
            "Port /dev/ttyS0 : ce n'est pas un port série."},
        Row{"BadName", portRefused(OpenError::Kind::BadName),
            "Port /dev/ttyS0 : ce n'est pas un nom de port. Choisissez un numéro à partir de 1 "
            "(1 à 6 pour COM1 à COM6) ou le chemin d'un périphérique, par exemple "
            "/dev/ttyUSB0."},
        Row{"OtherOpenFailure", portRefused(OpenError::Kind::Other, {}, "Input/output error"),
            "Port /dev/ttyS0 : ouverture impossible (Input/output error)."},
        Row{"NoAnswer", outcome(Operation::ReadSerialNumber, Cause::NoAnswer),
            "Le lecteur ne répond pas sur /dev/ttyUSB0."},
        Row{"NotReady",
            outcome(Operation::ReadCredit, Cause::NotReady, [](Outcome& o) { o.status = 0x01; }),
            "Lecteur pas prêt sur /dev/ttyUSB0 (état 01)."},
        Row{"NoBadge", outcome(Operation::ReadCredit, Cause::NoBadge),
            "Aucun badge sur le lecteur de /dev/ttyUSB0."},
        Row{"ShortReply",
            outcome(Operation::ReadSerialNumber, Cause::ShortReply,
                    [](Outcome& o) {
                        o.received = 5;
                        o.expected = 17;
                    }),
            "Réponse incomplète du lecteur sur /dev/ttyUSB0 : 5 octets sur 17. Tenez le badge "
            "immobile et "
            "recommencez."},
        Row{"WriteRefused", outcome(Operation::WriteCredit, Cause::WriteRefused),
            "Écriture refusée par le lecteur sur /dev/ttyUSB0."},
        Row{"UnexpectedReply",
            outcome(Operation::WriteCredit, Cause::UnexpectedReply,
                    [](Outcome& o) { o.status = 0x5A; }),
            "Réponse inattendue du lecteur sur /dev/ttyUSB0 à l'écriture (octet 5A) : le crédit a "
            "pu être "
            "enregistré. Relisez le badge."},
        Row{"NotConfirmed", outcome(Operation::WriteCredit, Cause::NotConfirmed),
            "Écriture non confirmée sur /dev/ttyUSB0 : le crédit a pu être enregistré. Relisez le "
            "badge."},
        Row{"LineLost", outcome(Operation::ReadCredit, Cause::LineLost),
            "Liaison perdue avec le lecteur sur /dev/ttyUSB0 : a-t-il été débranché ?"},
        Row{"AmountRefused", outcome(Operation::WriteCredit, Cause::Refused),
            "Montant refusé : de 0 à 65535 seulement. Rien n'a été envoyé."},
        Row{"BlockRefused", outcome(Operation::ReadBlock, Cause::Refused),
            "Numéro de bloc refusé : de 0 à 255 seulement. Rien n'a été envoyé."},
        Row{"EscapesControlCharacters",
            outcome(Operation::ReadCredit, Cause::NoAnswer,
                    [](Outcome& o) { o.device = "/dev/tty\x1b[2J"; }),
            "Le lecteur ne répond pas sur /dev/tty\\x1B[2J."}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

// A verdict the till gave with no link operation to blame: the window's words for the
// till's own causes, and for a stop that came before the write.
struct VerdictRow {
    const char* name;
    Cause judged;
    Cause cause;
    const char* text;
};

void PrintTo(const VerdictRow& row, std::ostream* out) {
    *out << row.name;
}

class VerdictText : public ::testing::TestWithParam<VerdictRow> {};

TEST_P(VerdictText, TellsWhyTheTillStoppedOrDoubtsAWrite) {
    till::WriteVerdict verdict;
    verdict.judged = GetParam().judged;
    verdict.cause = GetParam().cause;
    EXPECT_EQ(verdictText(verdict, QTime(14, 32, 5)).toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    TheTillsCauses, VerdictText,
    ::testing::Values(
        VerdictRow{"ReadBackDiffers", Cause::ReadBackDiffers, Cause::ReadBackDiffers,
                   "Le crédit relu n'est pas celui écrit : il a pu changer. Relisez le badge."},
        VerdictRow{"OverLimit", Cause::OverLimit, Cause::OverLimit,
                   "Le crédit dépasserait 65535 : rien n'a été écrit."},
        VerdictRow{"BadgeChangedBeforeWrite", Cause::BadgeChangedBeforeWrite,
                   Cause::BadgeChangedBeforeWrite,
                   "Badge changé pendant la lecture : rien n'a été écrit. Reposez le badge et "
                   "recommencez."},
        VerdictRow{"BadgeChanged", Cause::BadgeChanged, Cause::BadgeChanged,
                   "Badge changé pendant l'écriture : le crédit a pu être écrit sur l'un ou "
                   "l'autre. Relisez les deux badges."},
        VerdictRow{"JournalUnavailable", Cause::JournalUnavailable, Cause::JournalUnavailable,
                   "Journal indisponible : rien n'a été écrit."},
        VerdictRow{"BadgeChangedAndNotRecorded", Cause::BadgeChanged, Cause::OutcomeNotRecorded,
                   "Badge changé pendant l'écriture : le crédit a pu être écrit sur l'un ou "
                   "l'autre. Relisez les deux badges. Écrit, mais le journal n'a pas pu noter "
                   "le résultat. Relisez le badge."},
        VerdictRow{"InterruptedBeforeTheWrite", Cause::Interrupted, Cause::Interrupted,
                   "Programme arrêté avant l'opération. Rien n'a été envoyé."}),
    [](const ::testing::TestParamInfo<VerdictRow>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota::ui
