#!/usr/bin/perl
# This script was dynamicaly created by  <a href="http://tabulo.example.org/update.cgi"> tabulo</a>
# If you can read this then chmod 755 list.cgi
# and do have perl on server side please.
$dirname = 'in box/';
 opendir( HDir, $dirname ) || die "Can\'t open directory $dirname.\n"; 
 use Encode qw(decode); @entries = grep { my $n = decode("UTF-8", $_); $n !~ /^\.\.?$/ && $n =~ /^(?:.*\.txt|a.c|R\&D\ .*)$/is } readdir( HDir );
 closedir HDir;
 @srtd=sort @entries;
print "Content-type: text/html; charset=UTF-8\n\n"; 
print "<HTML><HEAD><TITLE>in box</TITLE>\n"; 
print "</HEAD><BODY>";
print "<table >\n"; 
foreach (@srtd) { &doline($_); }
print "</table></center>";
print "<p align=\"center\"><i><font size=\"2\"> by <a href=\"mailto:me\@example.org\">Jo \"Q\"</a></font></i></p>"; 
print "</body></html>";
exit;
sub cella
{       print "<td>"; 
        print @_;
        print "</td>"; }
sub doline
{       print "<tr>"; 
~/.*\.(.*)/;
        my ($e, $u, $h) = ($1, @_, @_); $e =~ s/([^A-Za-z0-9\-._~])/sprintf("%%%02X", ord($1))/ge; $u =~ s/([^A-Za-z0-9\-._~])/sprintf("%%%02X", ord($1))/ge;
        $h =~ s/&/&amp;/g; $h =~ s/</&lt;/g; $h =~ s/>/&gt;/g; $h =~ s/"/&quot;/g;
        &cella("<a href=\"in box/$u\"><img width=\"24\" border=\"0\"  alt=\"${e}\" src=\"../pics/icons/${e}32.gif\"> $h</a>"); &cella($h); 
   print "</tr>\n";} 
