<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="de_DE">
<context>
    <name>TSprachen</name>
    <message>
        <source>@Version</source>
        <translation>0.00.001</translation>
    </message>
</context>
<context>
    <name>TDlgMessage</name>
    <message>
        <source>&amp;Ja</source>
        <translation>&amp;Oui</translation>
    </message>
</context>
</TS>
