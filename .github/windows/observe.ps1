# Runs endsession-check (and, on Nano Server, endsession alone) in one
# context of the Windows lane and writes what it saw to -Out, in the form
# lane.py reads: "== context" and its output; per run "== selftest ARGS",
# "== x64 selftest" or "== run endsession ARGS", its output and "== status
# N"; for a task its "== task" line; for the runner "== system" and
# "== whoami"; or "== not started: REASON" for a context that never ran. It acts and records only:
# every judgement is lane.py's. The kit runs from -Lane (a folder every user
# may read and write), as the context's own account would run it: a cmd
# script redirects the output, since the Task Scheduler and
# CreateProcessWithLogonW start a program without a shell.
#   observe.ps1 -Context CONTEXT -Lane DIR -Out FILE
# with CONTEXT one of expected-calls.tsv's. The standard user's name and
# password come from LANE_USER and LANE_PASSWORD (made by the lane, masked
# in its log). Nothing ends: every session-end call is stopped by the kit
# before it runs, and the tool alone runs only lines that end nothing.
param(
  [Parameter(Mandatory)] [string] $Context,
  [Parameter(Mandatory)] [string] $Lane,
  [Parameter(Mandatory)] [string] $Out
)
$ErrorActionPreference = 'Stop'

$result = Join-Path $Lane "$Context.txt"
$script = Join-Path $Lane "$Context.cmd"
Remove-Item $result -ErrorAction SilentlyContinue

# The cmd script: context once, then each run ('selftest ARGS', 'x64
# selftest' or 'endsession ARGS'), with the lane folder at $root (C:\lane
# in a container).
function Write-Script([string[]] $runs, [string] $root = $Lane) {
  $kit = "$root\endsession-check.exe"
  $file = "$root\$Context.txt"
  $lines = @('@echo off', "> `"$file`" echo == context", "`"$kit`" context >> `"$file`" 2>&1")
  foreach ($run in $runs) {
    if ($run -eq 'x64 selftest') {
      $lines += ">> `"$file`" echo == x64 selftest"
      $lines += "`"$root\x64\endsession-check.exe`" selftest --tool `"$root\endsession.exe`" >> `"$file`" 2>&1"
    } elseif ($run -like 'selftest*') {
      $lines += ">> `"$file`" echo == $run"
      $lines += "`"$kit`" $run >> `"$file`" 2>&1"
    } else {
      $lines += ">> `"$file`" echo == run $run"
      $lines += "$root\$($run -replace '^endsession', 'endsession.exe') >> `"$file`" 2>&1"
    }
    $lines += ">> `"$file`" echo == status %ERRORLEVEL%"
  }
  Set-Content $script -Encoding ascii -Value $lines
}

function Add-Record([string] $line) { Add-Content $result -Encoding ascii -Value $line }
function Not-Started([string] $reason) { Set-Content $result -Encoding ascii -Value "== not started: $reason" }

function Credential {
  $secure = ConvertTo-SecureString $env:LANE_PASSWORD -AsPlainText -Force
  New-Object System.Management.Automation.PSCredential ("$env:COMPUTERNAME\$env:LANE_USER", $secure)
}

# A task's run, watched by its state and LastTaskResult (never by reading a
# file still being written). What was seen decides whether it ran: ever
# Running, or a result file written -- a logon type that cannot start
# records a failure code in LastTaskResult without ever running. The task
# is stopped before it is unregistered. Records "== task" or "== not
# started".
function Invoke-Task([string] $name, $principal, [string] $password, [int] $startSeconds) {
  $action = New-ScheduledTaskAction -Execute 'cmd.exe' -Argument "/c `"$script`"" -WorkingDirectory $Lane
  $settings = New-ScheduledTaskSettingsSet -ExecutionTimeLimit (New-TimeSpan -Minutes 10)
  $task = @{ TaskName = $name; Action = $action; Settings = $settings; Force = $true }
  if ($password) { $task.User = $principal; $task.Password = $password } else { $task.Principal = $principal }
  Register-ScheduledTask @task | Out-Null
  $running = $false
  $finished = $false
  $last = 0
  try {
    Start-ScheduledTask -TaskName $name
    # 0x41300 ready, 0x41301 running, 0x41303 not yet run, 0x41325 queued.
    $pending = @(267008, 267009, 267011, 267045)
    $deadline = (Get-Date).AddSeconds($startSeconds)
    while ((Get-Date) -lt $deadline) {
      Start-Sleep -Seconds 2
      $state = (Get-ScheduledTask -TaskName $name).State
      $last = (Get-ScheduledTaskInfo -TaskName $name).LastTaskResult
      if ($state -eq 'Running') {
        if (-not $running) { $deadline = (Get-Date).AddMinutes(10) }
        $running = $true
      } elseif ($pending -notcontains $last -or ($running -and $state -eq 'Ready')) {
        $finished = $true
        break
      }
    }
  } catch {
    $reason = $_.Exception.Message
  } finally {
    if (-not $finished) { Stop-ScheduledTask -TaskName $name -ErrorAction SilentlyContinue }
    Unregister-ScheduledTask -TaskName $name -Confirm:$false
  }
  $code = '0x{0:X8}' -f ([int64]$last -band 0xFFFFFFFF)  # an HRESULT may come as a negative Int32
  $ran = $running -or (Test-Path $result)
  if (-not $ran) {
    Not-Started "$name never ran, LastTaskResult $code$(if ($reason) { ": $reason" })"
  } elseif (-not $finished) {
    Add-Record "== task $($name): did not finish in 10 minutes, LastTaskResult $code"
  } else {
    Add-Record "== task $($name): ran, LastTaskResult $code"
  }
}

# A container of the runner's own release, process-isolated, with the lane
# folder as C:\lane; "not started" where the runner has no Docker or the
# image cannot be had.
function Invoke-Container([string] $image) {
  if (-not (Get-Command docker -ErrorAction SilentlyContinue)) { return Not-Started 'no Docker on this runner' }
  $release = @{ 20348 = 'ltsc2022'; 26100 = 'ltsc2025' }[[Environment]::OSVersion.Version.Build]
  if (-not $release) { return Not-Started "no $image image for build $([Environment]::OSVersion.Version.Build)" }
  $pulled = & docker pull "$($image):$release" 2>&1
  if ($LASTEXITCODE -ne 0) { return Not-Started "docker pull $($image):$($release): $($pulled | Select-Object -Last 1)" }
  & docker run --rm --isolation=process -v "$($Lane):C:\lane" "$($image):$release" cmd /c "C:\lane\$Context.cmd"
  if (-not (Test-Path $result)) { Not-Started "the container wrote nothing (docker run: $LASTEXITCODE)" }
}

switch ($Context) {
  'runner' {
    # Where the lane unpacked the x64 kit beside the ARM64 one (lane.py
    # unpack ... arm64), that kit runs too: it must refuse.
    $runs = @('selftest', 'selftest --station')
    if (Test-Path "$Lane\x64\endsession-check.exe") { $runs += 'x64 selftest' }
    Write-Script $runs
    & cmd.exe /c $script  # the lane's paths have no spaces
    # What decides a -RunLevel Limited task's token and the runner's own:
    # UAC's settings, the edition, the account and its groups.
    $policy = Get-ItemProperty 'HKLM:\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System'
    $os = Get-CimInstance Win32_OperatingSystem
    $installation = (Get-ItemProperty 'HKLM:\SOFTWARE\Microsoft\Windows NT\CurrentVersion').InstallationType
    Add-Record '== system'
    Add-Record "EnableLUA: $($policy.EnableLUA)"
    Add-Record "ConsentPromptBehaviorAdmin: $($policy.ConsentPromptBehaviorAdmin)"
    Add-Record "edition: $($os.Caption) ($installation, build $($os.BuildNumber))"
    Add-Record '== whoami'
    & whoami.exe /user /groups | ForEach-Object { Add-Record $_ }
  }
  'system-task' {
    Write-Script @('selftest')
    $principal = New-ScheduledTaskPrincipal -UserId 'SYSTEM' -LogonType ServiceAccount -RunLevel Highest
    Invoke-Task 'endsession-lane-system' $principal '' 120
  }
  'network-service-task' {
    Write-Script @('selftest')
    $principal = New-ScheduledTaskPrincipal -UserId 'NT AUTHORITY\NETWORK SERVICE' -LogonType ServiceAccount
    Invoke-Task 'endsession-lane-network-service' $principal '' 120
  }
  'local-service-task' {
    Write-Script @('selftest')
    $principal = New-ScheduledTaskPrincipal -UserId 'NT AUTHORITY\LOCAL SERVICE' -LogonType ServiceAccount
    Invoke-Task 'endsession-lane-local-service' $principal '' 120
  }
  's4u-task' {
    Write-Script @('selftest')
    $principal = New-ScheduledTaskPrincipal -UserId "$env:COMPUTERNAME\$env:LANE_USER" -LogonType S4U -RunLevel Limited
    Invoke-Task 'endsession-lane-s4u' $principal '' 120
  }
  'password-task' {
    Write-Script @('selftest')
    Invoke-Task 'endsession-lane-password' "$env:COMPUTERNAME\$env:LANE_USER" $env:LANE_PASSWORD 120
  }
  'winrm' {
    Write-Script @('selftest')
    # The Windows PowerShell endpoint, which Invoke-Command uses by default;
    # a listener that does not answer says so here.
    & powershell.exe -NoProfile -Command 'Enable-PSRemoting -Force -SkipNetworkProfileCheck | Out-Null'
    if ($LASTEXITCODE -ne 0) { throw "Enable-PSRemoting: $LASTEXITCODE" }
    Test-WSMan localhost | Out-Null
    Invoke-Command -ComputerName localhost -ConfigurationName Microsoft.PowerShell -ArgumentList $script -ScriptBlock {
      param($path)
      & cmd.exe /c $path
    }
  }
  'runas' {
    Write-Script @('selftest')
    # CreateProcessWithLogonW, as runas does.
    Start-Process -FilePath 'cmd.exe' -ArgumentList '/c', $script -Credential (Credential) `
      -WorkingDirectory $Lane -WindowStyle Hidden -Wait
  }
  'interactive-task' {
    # The desk's own row, where one exists: outside the runner's job, the kit
    # owns its job and must check the log-off.
    Write-Script @('selftest --require-logoff')
    $principal = New-ScheduledTaskPrincipal -UserId "$env:USERDOMAIN\$env:USERNAME" -LogonType Interactive -RunLevel Limited
    Invoke-Task 'endsession-lane-interactive' $principal '' 60
  }
  'servercore' {
    # No desktop shell: the session's account decides. The kit only.
    Write-Script @('selftest') 'C:\lane'
    Invoke-Container 'mcr.microsoft.com/windows/servercore'
  }
  'nanoserver' {
    # No USER32, no WTSAPI32: the tool's refusals and the kit's context.
    Write-Script @('endsession /x', 'endsession /l') 'C:\lane'
    Invoke-Container 'mcr.microsoft.com/windows/nanoserver'
  }
  default { throw "no context $Context" }
}
if (-not (Test-Path $result)) { Not-Started "$Context wrote nothing" }
New-Item -ItemType Directory -Force -Path (Split-Path $Out) | Out-Null
Copy-Item $result $Out -Force
Get-Content $Out
