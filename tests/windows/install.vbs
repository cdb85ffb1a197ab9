' A client of the installed tavolin2.dll: every class by programmatic name, and
' a GIF of in.bmp saved (the test compares it with the Linux build's).  Run by
' scripts/test-windows.sh after the installer, in the script host of each
' architecture; the last line is the summary the test looks for.
Option Explicit
On Error Resume Next

Dim failures, p, o, gif, pic, ok, name
failures = 0
name = "installed.gif"
If WScript.Arguments.Count > 0 Then name = WScript.Arguments(0)

Sub Check(good, what)
    If good Then
        WScript.Echo "ok   " & what
    Else
        WScript.Echo "FAIL " & what & " (Err " & Err.Number & " " & Err.Description & ")"
        failures = failures + 1
    End If
    Err.Clear
End Sub

For Each p In Array("clsTavolin2", "clsQELPictureViewer", "clsQELCompany", "MP3Class", "MovieModule", _
                    "clsBCAT175", "GIF", "cDIBSection", "cPalette")
    Set o = Nothing
    Set o = CreateObject("TAVOLIN2." & p)
    Check Err.Number = 0 And IsObject(o), "CreateObject(""TAVOLIN2." & p & """)"
Next
Set o = Nothing

Set pic = CreateObject("T2Test.Pictures").Load("in.bmp")
Check IsObject(pic), "a picture object of in.bmp"
Set gif = CreateObject("TAVOLIN2.GIF")
ok = gif.SaveGIF(pic, name)
Check ok, "GIF.SaveGIF(" & name & ")"
WScript.Echo "install: " & failures & " failure(s)"
