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
</TS>
