<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>CFGRunner</name>
    <message>
        <source>Connection closed</source>
        <translation>Соединение закрыто</translation>
    </message>
</context>
</TS>
