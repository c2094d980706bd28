#!/usr/bin/env bash
# Writes the benchmarks' log of 100,000 UPDATE actions (CR LF, as the data layer writes it)
# to the file given.
#   scripts/bench-log.sh FILE
set -euo pipefail
awk 'BEGIN {
  ORS = "\r\n"
  print "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"; print "<TarveskDataLayerLog>"
  print "<HEAD>"; print "<DATABASE>C:\\db\\shop.db</DATABASE>"
  print "<SESSIONTIME>01.12.2026 08:30:12</SESSIONTIME>"; print "</HEAD>"; print "<LOGDATA>"
  for (i = 1; i <= 100000; i++) {
    print "<ACTION Info=\"UPDATE RECORDID=" i "\">"; print "<TABLE>Kunden</TABLE>"
    print "<QueryString>SELECT * FROM Kunden WHERE ID &#61; " i "</QueryString>"
    print "<TIME>01.12.2026 08:31:40</TIME>"; print "<FieldName>Ort</FieldName>"
    print "<OldValue>Bonn</OldValue>"; print "<NewValue>Berlin</NewValue>"; print "</ACTION>"
  }
  print "</LOGDATA>"; print "</TarveskDataLayerLog>"
}' >"$1"
