# Runs endsession-check's context and selftest in one context of the Windows
# lane and writes what they print to -Out, in the form lane.py reads:
# "== context", its output, "== selftest ARGS", its output, "== status N"
# (or "== not started: REASON" for a task that never started). The kit runs
# from -Lane (a folder every user may read and write), as the context's own
# account would run it: a cmd script redirects the output, since the Task
# Scheduler and CreateProcessWithLogonW start a program without a shell.
#   observe.ps1 -Context runner|system-task|s4u-task|password-task|winrm|runas|interactive-task -Lane DIR -Out FILE
# The standard user's name and password come from LANE_USER and
# LANE_PASSWORD (made by the lane, masked in its log). Nothing ends: every
# session-end call is stopped by the kit before it runs.
param(
  [Parameter(Mandatory)] [string] $Context,
  [Parameter(Mandatory)] [string] $Lane,
  [Parameter(Mandatory)] [string] $Out
)
$ErrorActionPreference = 'Stop'

$kit = Join-Path $Lane 'endsession-check.exe'
$result = Join-Path $Lane "$Context.txt"
$script = Join-Path $Lane "$Context.cmd"
Remove-Item $result -ErrorAction SilentlyContinue

# The cmd script: context once, then selftest with each set of arguments.
function Write-Script([string[]] $runs) {
  $lines = @('@echo off', "> `"$result`" echo == context", "`"$kit`" context >> `"$result`" 2>&1")
  foreach ($arguments in $runs) {
    $lines += ">> `"$result`" echo == selftest $arguments"
    $lines += "`"$kit`" selftest $arguments >> `"$result`" 2>&1"
    $lines += ">> `"$result`" echo == status %ERRORLEVEL%"
  }
  Set-Content $script -Encoding ascii -Value $lines
}

function Credential {
  $secure = ConvertTo-SecureString $env:LANE_PASSWORD -AsPlainText -Force
  New-Object System.Management.Automation.PSCredential ("$env:COMPUTERNAME\$env:LANE_USER", $secure)
}

# A task's run, waited for by its state and LastTaskResult (never by reading
# a file still being written); $null when it never started.
function Invoke-Task([string] $name, $principal, [string] $password, [int] $startSeconds) {
  $action = New-ScheduledTaskAction -Execute 'cmd.exe' -Argument "/c `"$script`"" -WorkingDirectory $Lane
  $settings = New-ScheduledTaskSettingsSet -ExecutionTimeLimit (New-TimeSpan -Minutes 10)
  $task = @{ TaskName = $name; Action = $action; Settings = $settings; Force = $true }
  if ($password) { $task.User = $principal; $task.Password = $password } else { $task.Principal = $principal }
  Register-ScheduledTask @task | Out-Null
  try {
    try { Start-ScheduledTask -TaskName $name }
    catch { Write-Warning "Start-ScheduledTask $($name): $($_.Exception.Message)"; return $null }
    # 0x41300 ready, 0x41301 running, 0x41303 not yet run, 0x41325 queued.
    $pending = @(267008, 267009, 267011, 267045)
    $started = $false
    $deadline = (Get-Date).AddSeconds($startSeconds)
    while ($true) {
      Start-Sleep -Seconds 2
      $state = (Get-ScheduledTask -TaskName $name).State
      $last = (Get-ScheduledTaskInfo -TaskName $name).LastTaskResult
      if ($state -eq 'Running') { $started = $true; $deadline = (Get-Date).AddMinutes(10) }
      elseif ($pending -notcontains $last) { return $last }
      if ((Get-Date) -gt $deadline) {
        if ($started) { throw "$name did not finish in 10 minutes" }
        return $null
      }
    }
  } finally {
    Unregister-ScheduledTask -TaskName $name -Confirm:$false
  }
}

switch ($Context) {
  'runner' {
    Write-Script @('', '--station')
    & cmd.exe /c $script  # the lane's paths have no spaces
  }
  'system-task' {
    Write-Script @('')
    $principal = New-ScheduledTaskPrincipal -UserId 'SYSTEM' -LogonType ServiceAccount -RunLevel Highest
    $code = Invoke-Task 'endsession-lane-system' $principal '' 120
    if ($null -eq $code) { throw 'the SYSTEM task did not start' }
  }
  's4u-task' {
    Write-Script @('')
    $principal = New-ScheduledTaskPrincipal -UserId "$env:COMPUTERNAME\$env:LANE_USER" -LogonType S4U -RunLevel Limited
    $code = Invoke-Task 'endsession-lane-s4u' $principal '' 120
    if ($null -eq $code) { throw 'the S4U task did not start' }
  }
  'password-task' {
    Write-Script @('')
    $code = Invoke-Task 'endsession-lane-password' "$env:COMPUTERNAME\$env:LANE_USER" $env:LANE_PASSWORD 120
    if ($null -eq $code) { throw 'the password task did not start' }
  }
  'winrm' {
    Write-Script @('')
    # The Windows PowerShell endpoint, which Invoke-Command uses by default.
    & powershell.exe -NoProfile -Command 'Enable-PSRemoting -Force -SkipNetworkProfileCheck | Out-Null'
    if ($LASTEXITCODE -ne 0) { throw "Enable-PSRemoting: $LASTEXITCODE" }
    Invoke-Command -ComputerName localhost -ConfigurationName Microsoft.PowerShell -ArgumentList $script -ScriptBlock {
      param($path)
      & cmd.exe /c $path
    }
  }
  'runas' {
    Write-Script @('')
    # CreateProcessWithLogonW, as runas does.
    Start-Process -FilePath 'cmd.exe' -ArgumentList '/c', $script -Credential (Credential) `
      -WorkingDirectory $Lane -WindowStyle Hidden -Wait
  }
  'interactive-task' {
    # The desk's own row, where one exists: outside the runner's job, the kit
    # owns its job and must check the log-off.
    Write-Script @('--require-logoff')
    $principal = New-ScheduledTaskPrincipal -UserId "$env:USERDOMAIN\$env:USERNAME" -LogonType Interactive -RunLevel Limited
    $code = Invoke-Task 'endsession-lane-interactive' $principal '' 60
    if ($null -eq $code) {
      Set-Content $result -Encoding ascii -Value "== not started: $env:USERNAME has no interactive logon here (the task did not start in 60 s)"
    }
  }
  default { throw "no context $Context" }
}
if (-not (Test-Path $result)) { throw "$Context wrote no $result" }
New-Item -ItemType Directory -Force -Path (Split-Path $Out) | Out-Null
Copy-Item $result $Out -Force
Get-Content $Out
