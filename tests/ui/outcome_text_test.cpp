#include "ui/outcome_text.h"

#include <gtest/gtest.h>

#include <string>

namespace palmota::ui {
namespace {

Outcome outcome(Operation operation, Cause cause, const std::string& device = "/dev/ttyUSB0") {
    Outcome o;
    o.operation = operation;
    o.cause = cause;
    o.device = device;
    return o;
}

Outcome portRefused(OpenError::Kind kind, const std::string& group = {},
                    const std::string& reason = {}) {
    Outcome o = outcome(Operation::ReadSerialNumber, Cause::PortUnavailable, "/dev/ttyS0");
    o.openError = {kind, reason, group};
    return o;
}

struct Row {
    const char* name;
    Outcome outcome;
    const char* text;
};

class OutcomeText : public ::testing::TestWithParam<Row> {};

TEST_P(OutcomeText, TellsTheOperatorWhatHappenedInFrench) {
    EXPECT_EQ(outcomeText(GetParam().outcome, QTime(14, 32, 5)).toStdString(), GetParam().text);
}

Outcome notReady() {
    Outcome o = outcome(Operation::ReadCredit, Cause::NotReady);
    o.status = 0x01;
    return o;
}
Outcome shortReply() {
    Outcome o = outcome(Operation::ReadSerialNumber, Cause::ShortReply);
    o.received = 5;
    o.expected = 17;
    return o;
}
Outcome unexpectedReply() {
    Outcome o = outcome(Operation::WriteCredit, Cause::UnexpectedReply);
    o.status = 0x5A;
    return o;
}
Outcome controlCharacters() {
    Outcome o = outcome(Operation::ReadCredit, Cause::NoAnswer, "/dev/tty\x1b[2J");
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    EveryCause, OutcomeText,
    ::testing::Values(
        Row{"ReadAt", outcome(Operation::ReadCredit, Cause::Success), "Lu à 14:32:05"},
        Row{"SerialReadAt", outcome(Operation::ReadSerialNumber, Cause::Success), "Lu à 14:32:05"},
        Row{"WrittenAt", outcome(Operation::WriteCredit, Cause::Success), "Écrit à 14:32:05"},
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
            "Port /dev/ttyS0 : ce n'est pas un nom de port. Choisissez un numéro de 1 à 6 ou le "
            "chemin d'un périphérique, par exemple /dev/ttyUSB0."},
        Row{"OtherOpenFailure", portRefused(OpenError::Kind::Other, {}, "Input/output error"),
            "Port /dev/ttyS0 : ouverture impossible (Input/output error)."},
        Row{"NoAnswer", outcome(Operation::ReadSerialNumber, Cause::NoAnswer),
            "Le lecteur ne répond pas sur /dev/ttyUSB0."},
        Row{"NotReady", notReady(), "Lecteur pas prêt (état 01)."},
        Row{"NoBadge", outcome(Operation::ReadCredit, Cause::NoBadge),
            "Aucun badge sur le lecteur."},
        Row{"ShortReply", shortReply(),
            "Réponse incomplète du lecteur : 5 octets sur 17. Tenez le badge immobile et "
            "recommencez."},
        Row{"WriteRefused", outcome(Operation::WriteCredit, Cause::WriteRefused),
            "Écriture refusée par le lecteur."},
        Row{"UnexpectedReply", unexpectedReply(),
            "Réponse inattendue du lecteur à l'écriture (octet 5A) : le crédit a pu être "
            "enregistré. Relisez le badge."},
        Row{"NotConfirmed", outcome(Operation::WriteCredit, Cause::NotConfirmed),
            "Écriture non confirmée : le crédit a pu être enregistré. Relisez le badge."},
        Row{"LineLost", outcome(Operation::ReadCredit, Cause::LineLost),
            "Liaison perdue avec le lecteur sur /dev/ttyUSB0 : a-t-il été débranché ?"},
        Row{"AmountRefused", outcome(Operation::WriteCredit, Cause::Refused),
            "Montant refusé : de 0 à 65535 seulement. Rien n'a été envoyé."},
        Row{"BlockRefused", outcome(Operation::ReadBlock, Cause::Refused),
            "Numéro de bloc refusé : de 0 à 255 seulement. Rien n'a été envoyé."},
        Row{"EscapesControlCharacters", controlCharacters(),
            "Le lecteur ne répond pas sur /dev/tty\\x1B[2J."}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota::ui
