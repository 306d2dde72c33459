#include "core/ResourceTexts.h"

#include <map>

namespace orvalt {

namespace {

const std::map<int, QString>& table()
{
    static const std::map<int, QString> texts = {
        {100, QStringLiteral("OK")},
        {101, QStringLiteral("Cancel")},
        {1000, QStringLiteral("File(&F)")},
        {1001, QStringLiteral("Close(&C)")},
        {1002, QStringLiteral("Tool(&T)")},
        {1003, QStringLiteral("Option(&O)...")},
        {1004, QStringLiteral("Help(&H)")},
        {1005, QStringLiteral("Version information")},
        {1006, QStringLiteral("To upper Folder")},
        {1007, QStringLiteral("Open")},
        {1008, QStringLiteral("Delete")},
        {1009, QStringLiteral(" ")},
        {1010, QStringLiteral(" ")},
        {1011, QStringLiteral(" ")},
        {1012, QStringLiteral("View")},
        {1013, QStringLiteral("Large Icons")},
        {1014, QStringLiteral("Small Icons")},
        {1015, QStringLiteral("List")},
        {1016, QStringLiteral("Details")},
        {1017, QStringLiteral("Arrange Icons")},
        {1018, QStringLiteral("Copy to Left")},
        {1019, QStringLiteral("Copy to Right")},
        {1020, QStringLiteral("Interruption")},
        {1021, QStringLiteral("Replacement")},
        {1022, QStringLiteral("Replacement skip")},
        {1023, QStringLiteral("New Folder preparation")},
        {1024, QStringLiteral("Connection")},
        {1025, QStringLiteral("Renew")},
        {1026, QStringLiteral("Change of the filename")},
        {1027, QStringLiteral("Format Remote-Drive")},
        {1028, QStringLiteral("Disconnection")},
        {1100, QStringLiteral("Name")},
        {1101, QStringLiteral("Date")},
        {1102, QStringLiteral("Size")},
        {1103, QStringLiteral("Kind")},
        {1104, QStringLiteral("Attributes")},
        {2000, QStringLiteral("ORVALT")},
        {2001, QStringLiteral("Version 1.3")},
        {2002, QStringLiteral("KD7350 Series")},
        {2003, QStringLiteral("   ")},
        {2004, QStringLiteral("   Support Software.")},
        {2005, QStringLiteral("   ")},
        {7000, QStringLiteral("Setup of RS232C")},
        {7001, QStringLiteral("Port No.")},
        {7002, QStringLiteral("Com1")},
        {7003, QStringLiteral("Com2")},
        {7004, QStringLiteral("Com3")},
        {7005, QStringLiteral("Com4")},
        {7006, QStringLiteral("Setup")},
        {7007, QStringLiteral("Speed:")},
        {7008, QStringLiteral("Parity:")},
        {7009, QStringLiteral("Length of Data:")},
        {7010, QStringLiteral("Stop-bit:")},
        {7011, QStringLiteral("Flow Control:")},
        {8000, QStringLiteral("The character which can be used for the name of the measurement device")},
        {8001, QStringLiteral("Change the filename.  8.3 format")},
        {8002, QStringLiteral("Change the Foldername")},
        {8003, QStringLiteral("Can be changed")},
        {8004, QStringLiteral("Change the filename.  32+3 format")},
        {8005, QStringLiteral("Enter a new name")},
        {8100, QStringLiteral(" Do you want to replace it?")},
        {8101, QStringLiteral("Copy point file:")},
        {8102, QStringLiteral("Copy ex-file:")},
        {8103, QStringLiteral("A format does a measurement device drive")},
        {8104, QStringLiteral("It is only a measurement device drive to complete a format")},
        {8105, QStringLiteral("A chosen file is removed")},
        {8106, QStringLiteral("The designation of Path is injustice")},
        {8107, QStringLiteral("The folder already exists")},
        {8108, QStringLiteral("It isn't connected")},
        {8109, QStringLiteral("It is the file of Read-Only")},
        {8110, QStringLiteral("The attribute of the file is special")},
        {8111, QStringLiteral("C:\\ There is an important file in the Windows system in it.")},
        {8112, QStringLiteral("Media Error")},
        {8113, QStringLiteral("Terminated by user. Please wait a while.")},
        {8200, QStringLiteral("Yes")},
        {8201, QStringLiteral("Completely, Yes")},
        {8202, QStringLiteral("No")},
        {8203, QStringLiteral("Cancel")},
        {8300, QStringLiteral("A copy cause isn't chosen")},
        {8301, QStringLiteral("Connected")},
        {8302, QStringLiteral("It failed in the connection")},
        {8303, QStringLiteral("This medium can't be chosen")},
        {8304, QStringLiteral("This Path can't be chosen")},
        {8305, QStringLiteral("This Folder can't be handled with the measurement device")},
        {9000, QStringLiteral(" ")},
        {9100, QStringLiteral("ORVALT")},
        {32013, QStringLiteral("None")},
        {32014, QStringLiteral("Hardware")},
        {32085, QStringLiteral("None")},
        {32086, QStringLiteral("Even")},
        {32087, QStringLiteral("Odd")},
    };
    return texts;
}

} // namespace

namespace ResourceTexts {

QString text(int n)
{
    const auto it = table().find(n);
    return it == table().end() ? QString() : it->second;
}

bool contains(int n)
{
    return table().count(n) != 0;
}

QList<int> numbers()
{
    QList<int> all;
    for (const auto& entry : table())
        all << entry.first;
    return all;
}

} // namespace ResourceTexts

} // namespace orvalt
