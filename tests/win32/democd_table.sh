# What the demo CD's menu does, the same whichever build shows it: the Linux runner or
# runner.exe under Wine check these one table, with their own drivers.

# The menu's client area: the picture's place, and the buttons' centres.
PICTURE_X=0 PICTURE_Y=80 PICTURE_W=480 PICTURE_H=360
declare -A BUTTON=([play]="80 22" [install]="240 22" [setup]="400 22" [uninstall]="80 60"
                   [readme]="240 60" [exit]="400 60" [trailer]="240 460")
# The label areas whose dark pixels say a button is enabled (disabled labels are grey).
declare -A LABEL=([play]="140x24+11+10" [uninstall]="140x24+11+48")

# The demo install the stand-in set-up makes under C:\ZENTHOR.
INSTALLED=(UNINST.EXE ztDemo.exe INSTALL.LOG drivers/dig.ini loading.bmp tumblodos.cfg
           tumblowin.cfg frei.lvl levels.lst demo.pif save/slot1.sav save/slot2.sav)
# What the menu's Uninstall deletes itself, before it starts the demo's own uninstaller:
# everything else of the install stays, byte for byte.
UNINSTALL_REMOVES=(drivers/dig.ini loading.bmp tumblodos.cfg tumblowin.cfg frei.lvl levels.lst
                   demo.pif save/slot1.sav save/slot2.sav)

# The player's box when no sound device opens: the sound interface's failure, by its code.
# Without a device the Linux build's sound layer answers "no driver" (4); Wine's DirectSound
# answers "invalid parameter" (2) when it finds no sound server.
NOSOUND_BOX_LINUX="SoundErrorA: 4"
NOSOUND_BOX_WINE="SoundErrorA: 2"
