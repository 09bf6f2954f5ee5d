<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Cashup</name>
    <message>
        <source>badge %1  credit %2 -&gt; %3</source>
        <translation>badge %1  crédit %2 -&gt; %3</translation>
    </message>
    <message>
        <source>no outcome</source>
        <translation>sans issue</translation>
    </message>
    <message>
        <source>row %1</source>
        <translation>ligne %1</translation>
    </message>
    <message>
        <source>confirmed</source>
        <translation>confirmée</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>refusée</translation>
    </message>
    <message>
        <source>doubtful</source>
        <translation>douteuse</translation>
    </message>
    <message>
        <source>resolved</source>
        <translation>réglée</translation>
    </message>
    <message>
        <source>time</source>
        <translation>heure</translation>
    </message>
    <message>
        <source>operator</source>
        <translation>opérateur</translation>
    </message>
    <message>
        <source>badge</source>
        <translation>badge</translation>
    </message>
    <message>
        <source>credit</source>
        <translation>crédit</translation>
    </message>
    <message>
        <source>top-up</source>
        <translation>recharge</translation>
    </message>
    <message>
        <source>outcome</source>
        <translation>issue</translation>
    </message>
    <message>
        <source>Station %1, %2</source>
        <translation>Poste %1, %2</translation>
    </message>
    <message>
        <source>operator %1</source>
        <translation>opérateur %1</translation>
    </message>
    <message>
        <source>badge %1</source>
        <translation>badge %1</translation>
    </message>
    <message>
        <source>settled %1 by %2</source>
        <translation>réglée le %1 par %2</translation>
    </message>
    <message>
        <source>Closure %1</source>
        <translation>Clôture n° %1</translation>
    </message>
    <message>
        <source>Station %1</source>
        <translation>Poste %1</translation>
    </message>
    <message>
        <source>Made %1 by %2 (%3)</source>
        <translation>Faite le %1 par %2 (%3)</translation>
    </message>
    <message>
        <source>Period from %1 to %2</source>
        <translation>Période du %1 au %2</translation>
    </message>
    <message>
        <source>Period without records</source>
        <translation>Période sans enregistrement</translation>
    </message>
    <message>
        <source>Operators</source>
        <translation>Opérateurs</translation>
    </message>
    <message>
        <source>Doubtful writes still open: %1</source>
        <translation>Écritures douteuses encore ouvertes : %1</translation>
    </message>
    <message>
        <source>Chain head %1</source>
        <translation>Tête de chaîne %1</translation>
    </message>
    <message>
        <source>Closed and checked by (name and signature):</source>
        <translation>Clôturée et vérifiée par (nom et signature) :</translation>
    </message>
    <message>
        <source>Page %1 of %2</source>
        <translation>Page %1 sur %2</translation>
    </message>
    <message>
        <source>Journal report</source>
        <translation>Rapport du journal</translation>
    </message>
    <message>
        <source>(%1 more lines: journal closure %2)</source>
        <translation>(%1 lignes de plus : journal closure %2)</translation>
    </message>
</context>
<context>
    <name>Closure</name>
    <message>
        <source>writes</source>
        <translation>écritures</translation>
    </message>
    <message>
        <source>confirmed</source>
        <translation>confirmées</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>refusées</translation>
    </message>
    <message>
        <source>doubtful, still open</source>
        <translation>douteuses ouvertes</translation>
    </message>
    <message>
        <source>resolved</source>
        <translation>réglées</translation>
    </message>
    <message>
        <source>credit loaded</source>
        <translation>crédit chargé</translation>
    </message>
    <message>
        <source>topped up</source>
        <translation>rechargé</translation>
    </message>
    <message>
        <source>grand total</source>
        <translation>total perpétuel</translation>
    </message>
</context>
<context>
    <name>DailyReport</name>
    <message>
        <source>no outcome</source>
        <translation>sans issue</translation>
    </message>
    <message>
        <source>writes</source>
        <translation>écritures</translation>
    </message>
    <message>
        <source>confirmed</source>
        <translation>confirmées</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>refusées</translation>
    </message>
    <message>
        <source>uncertain</source>
        <translation>douteuses</translation>
    </message>
    <message>
        <source>no-outcome</source>
        <translation>sans issue</translation>
    </message>
    <message>
        <source>loaded</source>
        <translation>chargé</translation>
    </message>
    <message>
        <source>top-ups</source>
        <translation>rechargé</translation>
    </message>
    <message>
        <source>doubtful</source>
        <translation>douteuses</translation>
    </message>
    <message>
        <source>resolved</source>
        <translation>réglées</translation>
    </message>
    <message>
        <source>operator</source>
        <translation>opérateur</translation>
    </message>
    <message>
        <source>Station %1</source>
        <translation>Poste %1</translation>
    </message>
    <message>
        <source>day</source>
        <translation>jour</translation>
    </message>
    <message>
        <source>Need a read of the badge (the credit written may or may not be on it):</source>
        <translation>À relire sur le badge (le crédit écrit peut y être ou non) :</translation>
    </message>
    <message>
        <source>badge %1  credit %2 -&gt; %3  %4</source>
        <translation>badge %1  crédit %2 -&gt; %3  %4</translation>
    </message>
    <message>
        <source>row %1</source>
        <translation>ligne %1</translation>
    </message>
</context>
<context>
    <name>Resolve</name>
    <message>
        <source> (read before write %1)</source>
        <translation> (lu avant l’écriture %1)</translation>
    </message>
    <message>
        <source>write %1 settled: badge %2 held %3, the amount written%4</source>
        <translation>écriture %1 réglée : le badge %2 portait %3, le montant écrit%4</translation>
    </message>
    <message>
        <source>write %1 settled: badge %2 held %3, the credit before it%4: the amount did not go on the badge</source>
        <translation>écriture %1 réglée : le badge %2 portait %3, le crédit d’avant%4 : le montant n’a pas été écrit sur le badge</translation>
    </message>
    <message>
        <source>write %1 not settled: it may have gone to another badge than %2</source>
        <translation>écriture %1 non réglée : elle a pu aller sur un autre badge que %2</translation>
    </message>
    <message>
        <source>write %1 not settled: a later write to badge %2 did not read its credit first</source>
        <translation>écriture %1 non réglée : une écriture suivante sur le badge %2 n’a pas lu son crédit avant</translation>
    </message>
    <message>
        <source>write %1 not settled: badge %2 held %3%4, neither the credit before it (%5) nor the amount written (%6)</source>
        <translation>écriture %1 non réglée : le badge %2 portait %3%4, ni le crédit d’avant (%5) ni le montant écrit (%6)</translation>
    </message>
    <message>
        <source>write %1 not settled: %2</source>
        <translation>écriture %1 non réglée : %2</translation>
    </message>
    <message>
        <source>write %1 is no write in doubt of badge %2</source>
        <translation>l’écriture %1 n’est pas une écriture douteuse du badge %2</translation>
    </message>
    <message>
        <source>badge %1 has no write in doubt in the journal</source>
        <translation>le badge %1 n’a aucune écriture douteuse dans le journal</translation>
    </message>
</context>
<context>
    <name>Verify</name>
    <message>
        <source>inserted: a second record at its place</source>
        <translation>inséré : un second enregistrement à sa place</translation>
    </message>
    <message>
        <source>removed before it: the chain has no record %1 to %2</source>
        <translation>supprimé avant lui : la chaîne n’a pas d’enregistrement %1 à %2</translation>
    </message>
    <message>
        <source>removed before it: the chain has no record %1</source>
        <translation>supprimé avant lui : la chaîne n’a pas d’enregistrement %1</translation>
    </message>
    <message>
        <source>altered: its fields no longer give its hash</source>
        <translation>altéré : ses champs ne donnent plus son empreinte</translation>
    </message>
    <message>
        <source>out of place: it does not follow the record before it</source>
        <translation>déplacé : il ne suit pas l’enregistrement d’avant</translation>
    </message>
    <message>
        <source>rows before the chain with no seal over them</source>
        <translation>lignes antérieures à la chaîne sans scellé</translation>
    </message>
    <message>
        <source>the rows it seals were altered, removed or added since the chain began</source>
        <translation>les lignes qu’il scelle ont été altérées, supprimées ou ajoutées depuis le début de la chaîne</translation>
    </message>
    <message>
        <source>closure %1: its figures are not those of its period&apos;s records</source>
        <translation>clôture %1 : ses chiffres ne sont pas ceux des enregistrements de sa période</translation>
    </message>
    <message>
        <source>station %1, record %2%3: %4</source>
        <translation>poste %1, enregistrement %2%3 : %4</translation>
    </message>
    <message>
        <source>journal altered: %1</source>
        <translation>journal altéré : %1</translation>
    </message>
    <message>
        <source>%1: altered at %2</source>
        <translation>%1 : altéré au %2</translation>
    </message>
    <message>
        <source>%1: every chain holds</source>
        <translation>%1 : chaque chaîne est intacte</translation>
    </message>
    <message>
        <source>%1 station</source>
        <translation>%1 poste</translation>
    </message>
    <message>
        <source>%1 stations</source>
        <translation>%1 postes</translation>
    </message>
    <message>
        <source>%1 chained record</source>
        <translation>%1 enregistrement chaîné</translation>
    </message>
    <message>
        <source>%1 chained records</source>
        <translation>%1 enregistrements chaînés</translation>
    </message>
    <message>
        <source>%1 row sealed before the chain</source>
        <translation>%1 ligne scellée avant la chaîne</translation>
    </message>
    <message>
        <source>%1 rows sealed before the chain</source>
        <translation>%1 lignes scellées avant la chaîne</translation>
    </message>
</context>
</TS>
