#include "till/causes.h"

#include <algorithm>

namespace palmota::till {

namespace {

// The link's causes first, in the order of the link's own enumeration.
constexpr CauseRow kCauses[] = {
    {Cause::Ok, Family::Success, "ok", "succeeded", "Fait."},
    {Cause::PortUnavailable, Family::Port, "port-unavailable",
     "no such device, busy, permission denied, or not a serial port", "Port inutilisable."},
    {Cause::NoAnswer, Family::NoAnswer, "no-answer", "nothing within a limit",
     "Le lecteur ne répond pas."},
    {Cause::NotReady, Family::ReaderFailed, "not-ready", "not ready", "Lecteur pas prêt."},
    {Cause::NoBadge, Family::ReaderFailed, "no-badge", "no badge", "Aucun badge sur le lecteur."},
    {Cause::ShortReply, Family::ReaderFailed, "short-reply", "a short reply",
     "Réponse incomplète du lecteur."},
    {Cause::WriteRefused, Family::ReaderFailed, "write-refused",
     "write refused (final byte FF, and no read-back that differs)",
     "Écriture refusée par le lecteur."},
    {Cause::UnexpectedReply, Family::MayHaveChanged, "unexpected-reply",
     "a final byte neither 00 nor FF",
     "Réponse inattendue du lecteur : le crédit a pu être enregistré. Relisez le badge."},
    {Cause::NotConfirmed, Family::MayHaveChanged, "not-confirmed", "no final byte",
     "Écriture non confirmée : le crédit a pu être enregistré. Relisez le badge."},
    {Cause::LineLost, Family::NoAnswer, "line-lost", "the line was lost",
     "Liaison perdue avec le lecteur."},
    {Cause::Refused, Family::Usage, "refused", "an amount or block number out of range",
     "Montant refusé. Rien n'a été envoyé."},
    {Cause::NoisyLine, Family::ReaderFailed, "noisy-line",
     "a noisy line before any amount went out", "Ligne perturbée. Recommencez."},
    {Cause::Interrupted, Family::Interrupted, "interrupted", "a command cut short by it",
     "Programme arrêté avant l'opération. Rien n'a été envoyé."},
    {Cause::ReadBackDiffers, Family::MayHaveChanged, "read-back-differs",
     "a read-back that differs from what was written",
     "Le crédit relu n'est pas celui écrit : il a pu changer. Relisez le badge."},
    {Cause::OverLimit, Family::ReaderFailed, "over-limit", "a top-up whose sum would pass 65535",
     "Le crédit dépasserait 65535 : rien n'a été écrit."},
    {Cause::BadgeChangedBeforeWrite, Family::ReaderFailed, "badge-changed-before-write",
     "another badge read before the write",
     "Badge changé pendant la lecture : rien n'a été écrit. Reposez le badge et "
     "recommencez."},
    {Cause::BadgeChanged, Family::MayHaveChanged, "badge-changed",
     "another badge read back after the write",
     "Badge changé pendant l'écriture : le crédit a pu être écrit sur l'un ou l'autre. "
     "Relisez les deux badges."},
    {Cause::JournalUnavailable, Family::Journal, "journal-unavailable",
     "nothing was written; for journal report and check, the journal could not be read",
     "Journal indisponible : rien n'a été écrit."},
    {Cause::OutcomeNotRecorded, Family::MayHaveChanged, "outcome-not-recorded",
     "a write's outcome that could not be recorded in the journal",
     "Écrit, mais le journal n'a pas pu noter le résultat. Relisez le badge."},
    {Cause::CreditAboveJournal, Family::ReaderFailed, "credit-above-journal",
     "journal check: a credit above what the journal's last write left",
     "Crédit supérieur à celui du journal."},
    {Cause::NoJournal, Family::Usage, "no-journal", "no journal at the place named",
     "Aucun journal à cet endroit."},
    {Cause::Usage, Family::Usage, "usage", "a command that cannot be used",
     "Commande inutilisable."},
};

static_assert(std::size(kCauses) == static_cast<std::size_t>(Cause::Usage) + 1);

constexpr bool inOrder() {
    for (std::size_t i = 0; i < std::size(kCauses); ++i)
        if (static_cast<std::size_t>(kCauses[i].cause) != i) return false;
    return true;
}
static_assert(inOrder(), "the table is indexed by the cause");
// The link's causes map onto the till's by their place.
static_assert(static_cast<int>(palmota::Cause::Interrupted) ==
              static_cast<int>(Cause::Interrupted));

}  // namespace

std::span<const CauseRow> causeTable() {
    return kCauses;
}

const CauseRow& row(Cause cause) {
    return kCauses[static_cast<std::size_t>(cause)];
}

std::string_view causeName(Cause cause) {
    return row(cause).name;
}

Family family(Cause cause) {
    return row(cause).family;
}

int exitStatus(Cause cause) {
    return exitStatus(family(cause));
}

Cause causeOf(const Outcome& outcome) {
    return static_cast<Cause>(static_cast<int>(outcome.cause));
}

}  // namespace palmota::till
