' Corvane's classes as a VBScript host meets them: CreateObject by ProgID for
' every class, ExportToFolder's members and Describe and Check through late
' binding, and the Err object of a failing call. Wine's cscript exits 0 even when the script fails,
' so the closing "N passed, M failed" line is the verdict.
Option Explicit

Dim passed, failed
passed = 0
failed = 0

Sub Check(ok, what)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAILED: " & what
  End If
End Sub

Dim classes, name, step, created
classes = Array("DocApproval", "Notify", "ChangeFieldValue", "GetFieldValue", "SetFieldValue", _
  "SetNumericFieldValue", "ChangeNumericFieldValue", "GetNumericFieldValue", _
  "SetYesNoFieldValue", "GetYesNoFieldValue", "ChangeYesNoFieldValue", _
  "SetDateTimeFieldValue", "GetDateTimeFieldValue", "ChangeDateTimeFieldValue", "AutoStamp", _
  "Publish", "Signature", "ShareEntity", "ApplySecurityLabel", "Review", "ToDo", "EndWorkflow", _
  "Wait", "Delete", "ExportToFolder", "MarkAsArchive", "MarkAsRecord", "MarkAsVital", _
  "PutOnHold", "UnmarkAsVital", "UnmarkAsRecord", "ResetOnHold")
Check UBound(classes) = 31, "32 classes listed"
For Each name In classes
  Set step = Nothing
  On Error Resume Next
  Set step = CreateObject("Corvane." & name)
  created = (Err.Number = 0)
  On Error GoTo 0
  Check created, "CreateObject(""Corvane." & name & """)"
Next

Dim folders, number, source, description
Set folders = CreateObject("Corvane.ExportToFolder")
Check folders.DirectoryExists("C:\windows") = True, "DirectoryExists is True for C:\windows"
Check folders.DirectoryExists("C:\corvane-no-such-folder") = False, _
  "DirectoryExists is False for a missing folder"

' A designer's members on the same object, found by name like its own.
Check InStr(folders.Describe(), "{""name"":""ExportToFolder""") = 1, _
  "Describe answers ExportToFolder's reference"
Check InStr(folders.check("{}"), "{""class"":""ExportToFolder"",""findings"":[") = 1, _
  "Check(""{}"") answers ExportToFolder's findings, was " & folders.Check("{}")

' A control character in a folder name is refused by the library itself.
On Error Resume Next
folders.MakeDirectory "C:\bad" & Chr(1) & "name"
number = Err.Number
source = Err.Source
description = Err.Description
On Error GoTo 0
Check number = 52, "Err.Number is 52, was " & number
Check source = "Corvane", "Err.Source is Corvane, was " & source
Check description = "Bad file name or number", "Err.Description, was " & description

' IActivityRuntime is not on the default interface that late binding sees.
On Error Resume Next
folders.Execute Nothing, Nothing
number = Err.Number
On Error GoTo 0
Check number = 438, "Execute is not a member of _ExportToFolder: " & number

WScript.Echo passed & " passed, " & failed & " failed"
