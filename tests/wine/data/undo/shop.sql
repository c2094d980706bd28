CREATE TABLE Kunden (ID INTEGER PRIMARY KEY, Name TEXT, Ort TEXT);
INSERT INTO Kunden VALUES (7, 'Meier', 'Köln'), (8, 'Schulz', 'Berlin'), (9, 'Neu', 'Trier');
